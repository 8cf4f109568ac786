#pragma once

#include <tlhelp32.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/raw_com_port.h"

// Helpers of the Windows backend's tests. In the Wine test session COM5 and COM6 are the two ends of
// one null-modem cable: the port under test sits on COM5, a plain handle on COM6 is the far end.
namespace wintest {

constexpr const char* kNearPort = "COM5";
constexpr const char* kFarPort = "COM6";
// A second name for COM6's end, made by the tests' fixture: names from COM10 on need the device prefix.
constexpr const char* kHighPort = "COM12";

inline bool underWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline bool waitUntil(const std::function<bool()>& done, int limitMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

inline int processThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

// Wine does not count a process's handles, so each low handle value is asked whether it is one.
// Semaphores are left out: the thread library makes two for each condition variable on its first
// wait, and keeps them as long as the variable lives.
inline int handlesInUse() {
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    constexpr int kObjectTypeInformation = 2;
    int count = 0;
    for (std::uintptr_t value = 4; value < 4 * 1024; value += 4) {
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags = 0;
        if (!GetHandleInformation(handle, &flags)) {
            continue;
        }
        // The type's name, a counted UTF-16 string at the start of the answer.
        alignas(8) unsigned char answer[512];
        ULONG length = 0;
        if (query != nullptr && query(handle, kObjectTypeInformation, answer, sizeof answer, &length) == 0) {
            const auto* name = reinterpret_cast<const USHORT*>(answer);
            const auto* text = *reinterpret_cast<wchar_t* const*>(answer + sizeof(void*));
            if (std::wstring(text, name[0] / 2) == L"Semaphore") {
                continue;
            }
        }
        ++count;
    }
    return count;
}

// A plain handle on a COM port: the far end (115200 8N1, reads with a time limit), or an observer
// that only reads back the line settings another handle on the device applied.
class PlainPort {
public:
    explicit PlainPort(const char* name, bool farEnd = true)
        : port_(farEnd ? RawComPort(name, kReadIntervalMs, kReadTotalMs)
                       : RawComPort(name, RawComPort::AsIs{})) {}

    bool isOpen() const { return port_.isOpen(); }
    bool send(const std::string& bytes) { return port_.writeAll(bytes); }
    // Reads until count bytes have come or limitMs has passed without one.
    std::string receive(std::size_t count, int limitMs = 5000) {
        return port_.receive(count, static_cast<DWORD>(limitMs));
    }
    DCB lineState() {
        DCB line{};
        line.DCBlength = sizeof line;
        GetCommState(port_.handle(), &line);
        return line;
    }
    DWORD modemStatus() {
        DWORD status = 0;
        GetCommModemStatus(port_.handle(), &status);
        return status;
    }

private:
    static constexpr DWORD kReadIntervalMs = 50;
    static constexpr DWORD kReadTotalMs = 200;
    RawComPort port_;
};

}  // namespace wintest
