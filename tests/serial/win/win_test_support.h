#pragma once

#include <tlhelp32.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "serial/serial_port_listener.h"

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

inline double processCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
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
inline int handlesInUse() {
    int count = 0;
    for (std::uintptr_t value = 4; value < 4 * 1024; value += 4) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

// Counts calls and keeps the latest; creates no handles, so it leaves the handle counts alone.
class CountingListener : public kelso::CSerialPortListener {
public:
    void onDataReceived(const char* portName, unsigned int byteCount) override {
        name = portName;
        lastCount = byteCount;
        ++calls;
    }
    std::string name;
    std::atomic<unsigned int> lastCount{0};
    std::atomic<int> calls{0};
};

// A plain handle on a COM port: the far end (115200 8N1, reads with a time limit), or an observer
// that only reads back the line settings another handle on the device applied.
class PlainPort {
public:
    explicit PlainPort(const char* name, bool farEnd = true) {
        handle_ = CreateFileA((std::string("\\\\.\\") + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE || !farEnd) {
            return;
        }
        DCB line = lineState();
        line.BaudRate = 115200;
        line.ByteSize = 8;
        line.Parity = NOPARITY;
        line.StopBits = ONESTOPBIT;
        line.fOutxCtsFlow = line.fOutX = line.fInX = 0;
        SetCommState(handle_, &line);
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = 50;
        timeouts.ReadTotalTimeoutConstant = 200;
        SetCommTimeouts(handle_, &timeouts);
        PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    ~PlainPort() { CloseHandle(handle_); }
    PlainPort(const PlainPort&) = delete;
    PlainPort& operator=(const PlainPort&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool send(const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    // Reads until count bytes have come or limitMs has passed.
    std::string receive(std::size_t count, int limitMs = 5000) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        char chunk[4096];
        DWORD n = 0;
        while (got.size() < count && std::chrono::steady_clock::now() < end &&
               ReadFile(handle_, chunk, static_cast<DWORD>(std::min(sizeof chunk, count - got.size())), &n,
                        nullptr)) {
            got.append(chunk, n);
        }
        return got;
    }
    DCB lineState() {
        DCB line{};
        line.DCBlength = sizeof line;
        GetCommState(handle_, &line);
        return line;
    }
    DWORD modemStatus() {
        DWORD status = 0;
        GetCommModemStatus(handle_, &status);
        return status;
    }

private:
    HANDLE handle_;
};

}  // namespace wintest
