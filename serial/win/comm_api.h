#pragma once

#include <windows.h>

#include <functional>
#include <thread>

// The kernel32 calls the Windows port makes on its device: opening, line setup, the device's event
// wait, transfers and closing, and the events, waits and thread it needs for them. The port reaches
// them only through this interface, so that a test can stand in for a device (a scripted fake that
// plays what Windows does, where a real device cannot be made to). Each operation behaves as the
// kernel32 function of the same name, failure reported by the result and GetLastError(). Events are
// set, reset and closed directly.
class WinCommApi {
public:
    virtual ~WinCommApi() = default;

    virtual HANDLE createFile(const char* path, DWORD access, DWORD share, DWORD creation, DWORD flags) = 0;
    virtual BOOL closeHandle(HANDLE device) = 0;
    virtual BOOL getCommConfig(HANDLE device, COMMCONFIG* config, DWORD* size) = 0;
    virtual BOOL getCommState(HANDLE device, DCB* dcb) = 0;
    virtual BOOL setCommConfig(HANDLE device, COMMCONFIG* config, DWORD size) = 0;
    virtual BOOL setCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL setCommMask(HANDLE device, DWORD mask) = 0;
    virtual BOOL waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) = 0;
    virtual BOOL clearCommError(HANDLE device, DWORD* errors, COMSTAT* status) = 0;
    virtual BOOL purgeComm(HANDLE device, DWORD flags) = 0;
    virtual BOOL flushFileBuffers(HANDLE device) = 0;
    virtual BOOL escapeCommFunction(HANDLE device, DWORD function) = 0;
    virtual BOOL readFile(HANDLE device, void* buffer, DWORD size, DWORD* count, OVERLAPPED* overlapped) = 0;
    virtual BOOL writeFile(HANDLE device, const void* data, DWORD size, DWORD* count,
                           OVERLAPPED* overlapped) = 0;
    virtual BOOL getOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* count, BOOL wait) = 0;
    // Cancels the transfers and waits that the calling thread started on the device, as CancelIo does.
    virtual BOOL cancelIo(HANDLE device) = 0;

    // CreateEventA without security attributes or a name.
    virtual HANDLE createEvent(BOOL manualReset, BOOL initialState);
    virtual DWORD waitForMultipleObjects(DWORD count, const HANDLE* handles, DWORD milliseconds);
    // Starts a thread on body; false when the system gives none.
    virtual bool startThread(std::thread& thread, std::function<void()> body);
};

// kernel32 itself.
WinCommApi& kernel32CommApi();
