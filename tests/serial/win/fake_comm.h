#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "serial/win/comm_api.h"

// A serial device played in memory behind the port's kernel32 seam, as Windows plays a real one:
// - WaitCommEvent pends, and completes with EV_RXCHAR when characters arrive (at once when some came
//   since the last wait); SetCommMask completes a pending wait with an empty mask, CloseHandle with
//   ERROR_OPERATION_ABORTED, and so does CancelIo, but only from the thread that started the wait.
// - Overlapped writes pend and complete in full, or, with a write time-out scripted, with fewer bytes
//   than asked (the driver's time ran out); plain writes return at once, the same way. With writes
//   held (flow control), an overlapped write stays pending, its bytes in the output queue, until
//   PurgeComm aborts it or its own thread cancels it. With reads pending, overlapped reads pend too.
// - Any call of the script's list can be made to fail the next times it is made, with an error.
// - A removed device fails every call on the handles it had with the removal error given, while a
//   pending wait completes with ERROR_OPERATION_ABORTED; the name opens nothing until it is restored.
// - With waitsFail, every wait pends and ends at once with ERROR_OPERATION_ABORTED, as under Wine on a
//   pseudo-terminal.
// It opens one name, exclusively, and counts what the port calls.
class FakeComm : public WinCommApi {
public:
    explicit FakeComm(std::string name) : name_(std::move(name)) {}

    // The far end.
    void arrive(const std::string& bytes);
    std::string takeWritten();
    // Takes the device away; later calls on its handles fail with error.
    void remove(DWORD error);
    // A new device under the same name.
    void restore();
    // How the device behaves, set by the test at any time.
    std::atomic<bool> waitsFail{false};
    // Some drivers do not end a pending wait when the event mask is cleared; CancelIo still does.
    std::atomic<bool> maskEndsWait{true};
    std::atomic<bool> writeTimesOut{false};
    std::atomic<bool> readsPend{false};
    std::atomic<DWORD> lineErrors{0};  // the error bits the next ClearCommError reports (CE_FRAME, ...)
    void setWritesHeld(bool held);
    enum class Call { SetCommMask, ClearCommError, GetOverlappedResult, CreateEvent, Wait, StartThread };
    // The next `times` calls of `call` fail with error (a wait with WAIT_FAILED).
    void failNext(Call call, DWORD error, int times = 1);
    bool writePending();
    // Ends a pending wait with ERROR_OPERATION_ABORTED, as when something else cancels it.
    void abortWait();
    bool waitPending();
    int openHandles();
    std::string lastPath();
    std::atomic<int> waits{0};         // WaitCommEvent calls
    std::atomic<int> queueQueries{0};  // ClearCommError calls
    std::atomic<int> strayCloses{0};   // CloseHandle on a handle that is not open

    HANDLE createFile(const char* path, DWORD access, DWORD share, DWORD creation, DWORD flags) override;
    BOOL closeHandle(HANDLE device) override;
    BOOL getCommConfig(HANDLE device, COMMCONFIG* config, DWORD* size) override;
    BOOL getCommState(HANDLE device, DCB* dcb) override;
    BOOL setCommConfig(HANDLE device, COMMCONFIG* config, DWORD size) override;
    BOOL setCommTimeouts(HANDLE device, COMMTIMEOUTS*) override { return answers(device); }
    BOOL setCommMask(HANDLE device, DWORD mask) override;
    BOOL waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) override;
    BOOL clearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override;
    BOOL purgeComm(HANDLE device, DWORD flags) override;
    BOOL flushFileBuffers(HANDLE device) override { return answers(device); }
    BOOL escapeCommFunction(HANDLE device, DWORD) override { return answers(device); }
    BOOL readFile(HANDLE device, void* buffer, DWORD size, DWORD* count, OVERLAPPED* overlapped) override;
    BOOL writeFile(HANDLE device, const void* data, DWORD size, DWORD* count,
                   OVERLAPPED* overlapped) override;
    BOOL getOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* count, BOOL wait) override;
    BOOL cancelIo(HANDLE device) override;
    HANDLE createEvent(BOOL manualReset, BOOL initialState) override;
    DWORD waitForMultipleObjects(DWORD count, const HANDLE* handles, DWORD milliseconds) override;
    bool startThread(std::thread& thread, std::function<void()> body) override;

private:
    struct Handle {
        int device;  // which plugged-in device it was opened on
        bool overlapped;
    };

    // Under mutex_: the handle's entry if it is open, else null with ERROR_INVALID_HANDLE; with the
    // removal error when its device is gone.
    Handle* usable(HANDLE device);
    void completeWait(DWORD mask, DWORD error);
    void completeWrite(DWORD error);
    // Under mutex_: whether the script fails this call now (with its error set); failsNow takes mutex_.
    bool scriptedFailure(Call call);
    bool failsNow(Call call);
    // Whether the handle is open on the device plugged in now (the error set when not).
    bool answers(HANDLE device);
    static void complete(OVERLAPPED* overlapped, DWORD error, DWORD count);

    std::mutex mutex_;
    const std::string name_;
    int device_ = 1;  // the device plugged in now
    bool removed_ = false;
    DWORD removalError_ = 0;
    bool writesHeld_ = false;
    std::map<Call, std::pair<int, DWORD>> failures_;
    std::map<HANDLE, Handle> handles_;
    unsigned int nextHandle_ = 1;

    std::string input_;
    std::string output_;
    DCB dcb_{};
    DWORD mask_ = 0;
    bool arrivedSinceWait_ = false;
    DWORD* pendingMask_ = nullptr;
    OVERLAPPED* pendingWait_ = nullptr;
    std::thread::id waitThread_;
    OVERLAPPED* pendingWrite_ = nullptr;
    std::string heldBytes_;
    std::thread::id writeThread_;
    std::string lastPath_;
};
