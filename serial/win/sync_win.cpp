#include "serial/sync.h"

namespace kelso {

namespace {

// A wait that fails (say, the event could not be created) returns at once. Taken for a notification it
// would make every waiting loop spin, so a failed timed wait sleeps out its time and counts as a
// time-out, and a failed endless wait pauses before it returns.
constexpr DWORD kFailedWaitPauseMs = 10;

}  // namespace

IMutex::IMutex() {
    InitializeCriticalSection(&section_);
}
IMutex::~IMutex() {
    DeleteCriticalSection(&section_);
}

void IMutex::lock() {
    EnterCriticalSection(&section_);
}
void IMutex::unlock() {
    LeaveCriticalSection(&section_);
}
IMutex::NativeLock IMutex::nativeLock() {
    return section_;
}

IConditionVariable::IConditionVariable() : event_(INVALID_HANDLE_VALUE) {
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

IConditionVariable::~IConditionVariable() {
    if (event_ != nullptr && event_ != INVALID_HANDLE_VALUE) {
        CloseHandle(event_);
    }
}

void IConditionVariable::wait(IMutex& lock) {
    lock.unlock();
    if (WaitForSingleObject(event_, INFINITE) == WAIT_FAILED) {
        Sleep(kFailedWaitPauseMs);
    }
    lock.lock();
}

bool IConditionVariable::waitFor(IMutex& lock, unsigned int timeoutMs) {
    lock.unlock();
    const DWORD result = WaitForSingleObject(event_, timeoutMs);
    if (result == WAIT_FAILED) {
        Sleep(timeoutMs);
    }
    lock.lock();
    if (result == WAIT_TIMEOUT || result == WAIT_FAILED) {
        return true;
    }
    ResetEvent(event_);
    return false;
}

void IConditionVariable::notifyOne() {
    SetEvent(event_);
}

}  // namespace kelso
