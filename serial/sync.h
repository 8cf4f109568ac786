#pragma once

// The serial library's own lock and signal: a recursive mutex, a scoped lock, and an auto-reset
// signal with timed waits. Windows builds them on a critical section and an auto-reset event; other
// systems on the standard library, with the very same behaviour.

#ifdef _WIN32
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#endif

namespace kelso {

class IMutex {
public:
#ifdef _WIN32
    using NativeLock = CRITICAL_SECTION;
#else
    // A standard mutex cannot be copied; what is handed out is the handle of the underlying lock.
    using NativeLock = std::recursive_mutex::native_handle_type;
#endif

    IMutex();
    virtual ~IMutex();
    IMutex(const IMutex&) = delete;
    IMutex& operator=(const IMutex&) = delete;

    // Recursive: the holder may lock again, and the lock is free once every lock has been unlocked.
    virtual void lock();
    virtual void unlock();
    virtual NativeLock nativeLock();

private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::recursive_mutex mutex_;
#endif
};

class ScopedLock {
public:
    explicit ScopedLock(IMutex* mutex) : mutex_(mutex) { mutex_->lock(); }
    ~ScopedLock() { mutex_->unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    IMutex* mutex_;
};

// An auto-reset signal. A notification wakes exactly one waiter (notifyAll too) and resets as it does;
// one made while nobody waits is kept for the next wait, and several such count as one. Each wait
// unlocks the caller's mutex once for the wait and locks it again afterwards.
class IConditionVariable {
public:
    IConditionVariable();
    virtual ~IConditionVariable();
    IConditionVariable(const IConditionVariable&) = delete;
    IConditionVariable& operator=(const IConditionVariable&) = delete;

    // Waits as long as pred is false; pred is taken at the call, so false never returns.
    virtual void wait(IMutex& lock, bool pred);
    virtual void wait(IMutex& lock);
    // pred true: false at once, consuming nothing. Otherwise waits until a whole period of timeoutMs
    // passes without a notification (each notification starts the period anew), then true.
    virtual bool waitFor(IMutex& lock, unsigned int timeoutMs, bool pred);
    // True when the time ran out; false when notified, with the signal consumed.
    virtual bool waitFor(IMutex& lock, unsigned int timeoutMs);
    virtual void notifyOne();
    virtual void notifyAll();

private:
#ifdef _WIN32
    HANDLE event_;
#else
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
#endif
};

}  // namespace kelso
