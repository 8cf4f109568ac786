#include <chrono>

#include "serial/sync.h"

namespace kelso {

IMutex::IMutex() = default;
IMutex::~IMutex() = default;

void IMutex::lock() {
    mutex_.lock();
}
void IMutex::unlock() {
    mutex_.unlock();
}
IMutex::NativeLock IMutex::nativeLock() {
    return mutex_.native_handle();
}

IConditionVariable::IConditionVariable() = default;
IConditionVariable::~IConditionVariable() = default;

void IConditionVariable::wait(IMutex& lock) {
    lock.unlock();
    {
        std::unique_lock<std::mutex> guard(mutex_);
        changed_.wait(guard, [this] { return signalled_; });
        signalled_ = false;
    }
    lock.lock();
}

bool IConditionVariable::waitFor(IMutex& lock, unsigned int timeoutMs) {
    lock.unlock();
    bool timedOut;
    {
        std::unique_lock<std::mutex> guard(mutex_);
        timedOut =
            !changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; });
        signalled_ = false;
    }
    lock.lock();
    return timedOut;
}

void IConditionVariable::notifyOne() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = true;
    }
    changed_.notify_one();
}

}  // namespace kelso
