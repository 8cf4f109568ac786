#include "serial/win/comm_api.h"

#include <system_error>
#include <utility>

HANDLE WinCommApi::createEvent(BOOL manualReset, BOOL initialState) {
    return CreateEventA(nullptr, manualReset, initialState, nullptr);
}

DWORD WinCommApi::waitForMultipleObjects(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    return WaitForMultipleObjects(count, handles, FALSE, milliseconds);
}

bool WinCommApi::startThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

namespace {

class Kernel32CommApi : public WinCommApi {
public:
    HANDLE createFile(const char* path, DWORD access, DWORD share, DWORD creation, DWORD flags) override {
        return CreateFileA(path, access, share, nullptr, creation, flags, nullptr);
    }
    BOOL closeHandle(HANDLE device) override { return CloseHandle(device); }
    BOOL getCommConfig(HANDLE device, COMMCONFIG* config, DWORD* size) override {
        return GetCommConfig(device, config, size);
    }
    BOOL getCommState(HANDLE device, DCB* dcb) override { return GetCommState(device, dcb); }
    BOOL setCommConfig(HANDLE device, COMMCONFIG* config, DWORD size) override {
        return SetCommConfig(device, config, size);
    }
    BOOL setCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override {
        return SetCommTimeouts(device, timeouts);
    }
    BOOL setCommMask(HANDLE device, DWORD mask) override { return SetCommMask(device, mask); }
    BOOL waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override {
        return WaitCommEvent(device, mask, overlapped);
    }
    BOOL clearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override {
        return ClearCommError(device, errors, status);
    }
    BOOL purgeComm(HANDLE device, DWORD flags) override { return PurgeComm(device, flags); }
    BOOL flushFileBuffers(HANDLE device) override { return FlushFileBuffers(device); }
    BOOL escapeCommFunction(HANDLE device, DWORD function) override {
        return EscapeCommFunction(device, function);
    }
    BOOL readFile(HANDLE device, void* buffer, DWORD size, DWORD* count, OVERLAPPED* overlapped) override {
        return ReadFile(device, buffer, size, count, overlapped);
    }
    BOOL writeFile(HANDLE device, const void* data, DWORD size, DWORD* count,
                   OVERLAPPED* overlapped) override {
        return WriteFile(device, data, size, count, overlapped);
    }
    BOOL getOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* count, BOOL wait) override {
        return GetOverlappedResult(device, overlapped, count, wait);
    }
    BOOL cancelIo(HANDLE device) override { return CancelIo(device); }
};

}  // namespace

WinCommApi& kernel32CommApi() {
    static Kernel32CommApi api;
    return api;
}
