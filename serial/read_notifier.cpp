#include "serial/read_notifier.h"

#include <system_error>

using kelso::ScopedLock;

ReadNotifier::ReadNotifier()
    : finishedCond_(std::make_unique<kelso::IConditionVariable>()),
      restartCond_(std::make_unique<kelso::IConditionVariable>()),
      mutex_(std::make_unique<kelso::IMutex>()) {}

ReadNotifier::~ReadNotifier() {
    stopping_ = true;
    restartCond_->notifyOne();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ReadNotifier::post(kelso::CSerialPortListener* listener, unsigned int delayMs, const char* portName,
                        unsigned int byteCount) {
    {
        ScopedLock hold(mutex_.get());
        listener_ = listener;
        delayMs_ = delayMs;
        handler_ = &kelso::CSerialPortListener::onDataReceived;
        copyPortName(portName_, portName);
        byteCount_ = byteCount;
        undelivered_ = true;
        if (running_) {
            // The pending thread delivers the values just stored, a full delay from now.
            restartCond_->notifyOne();
            return;
        }
        running_ = true;
    }
    // The previous thread has cleared `running_` and is on its way out; it takes no lock any more.
    if (thread_.joinable()) {
        thread_.join();
    }
    if (!startThread()) {
        // Leaving `running_` set would silence this port's delayed notifications for good; clear it so
        // that the next chunk tries again.
        ScopedLock hold(mutex_.get());
        running_ = false;
    }
}

void ReadNotifier::restart() {
    {
        ScopedLock hold(mutex_.get());
        if (!running_ || restartPending_) {
            return;
        }
        restartPending_ = true;
    }
    restartCond_->notifyOne();
    ScopedLock hold(mutex_.get());
    restartPending_ = false;
}

bool ReadNotifier::startThread() {
    try {
        thread_ = std::thread(&ReadNotifier::notifyThreadProc, this);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void ReadNotifier::notifyThreadProc() {
    // The waits need a mutex to release; this one is the thread's own and nobody else takes it.
    kelso::IMutex waitMutex;
    ScopedLock holdWait(&waitMutex);
    for (;;) {
        unsigned int period;
        {
            ScopedLock hold(mutex_.get());
            period = delayMs_;
        }
        // Every post during the wait starts a whole period anew.
        while (!stopping_ && !restartCond_->waitFor(waitMutex, period)) {
        }

        char name[kPortNameCapacity];
        unsigned int count;
        kelso::CSerialPortListener* target;
        void (kelso::CSerialPortListener::*call)(const char*, unsigned int);
        {
            ScopedLock hold(mutex_.get());
            if (stopping_) {
                running_ = false;
                finishedCond_->notifyOne();
                return;
            }
            copyPortName(name, portName_);
            count = byteCount_;
            target = listener_;
            call = handler_;
            undelivered_ = false;
        }
        // Called with no lock held, so the listener may use the port freely.
        if (target != nullptr && call != nullptr) {
            (target->*call)(name, count);
        }

        ScopedLock hold(mutex_.get());
        if (stopping_ || !undelivered_) {
            running_ = false;
            finishedCond_->notifyOne();
            return;
        }
    }
}
