#include "serial/read_notifier.h"

#include <system_error>
#include <utility>

#include "serial/port_settings.h"
#include "serial/sync.h"

using kelso::ScopedLock;

// What the notifier shares with its notification thread. Guarded by mutex.
struct ReadNotifier::State {
    kelso::IMutex mutex;
    kelso::IConditionVariable restartCond;  // each post while the thread waits starts its period anew
    bool running = false;                   // a notification thread has started and not yet finished
    bool undelivered = false;               // the latest post has not been delivered yet
    bool stopping = false;                  // the notifier is going
    unsigned int delayMs = 0;
    char portName[kPortNameCapacity] = {};
    unsigned int byteCount = 0;
    std::shared_ptr<kelso::CSerialPortListener> listener;
};

namespace {

// Ends the thread if nothing is left to deliver; the caller holds the state's mutex.
bool finishedLocked(ReadNotifier::State& state) {
    if (state.stopping || !state.undelivered) {
        state.running = false;
        return true;
    }
    return false;
}

void notifyThreadProc(std::shared_ptr<ReadNotifier::State> state) {
    // The waits need a mutex to release; this one is the thread's own and nobody else takes it.
    kelso::IMutex waitMutex;
    ScopedLock holdWait(&waitMutex);
    unsigned int period;
    {
        // Taken once: a changed delay applies from the next notification thread on.
        ScopedLock hold(&state->mutex);
        period = state->delayMs;
    }
    for (;;) {
        const bool quiet = state->restartCond.waitFor(waitMutex, period);
        char name[kPortNameCapacity];
        unsigned int count;
        std::shared_ptr<kelso::CSerialPortListener> target;
        {
            ScopedLock hold(&state->mutex);
            if (finishedLocked(*state)) {
                return;
            }
            if (!quiet) {
                continue;  // a post came during the period: wait a whole one again
            }
            copyPortName(name, state->portName);
            count = state->byteCount;
            target = state->listener;
            state->undelivered = false;
        }
        // Called with no lock held, so the listener may use the port freely. A listener handed over
        // as shared stays alive until the call has returned, even if its port goes meanwhile.
        if (target) {
            try {
                target->onDataReceived(name, count);
            } catch (...) {
                // Nowhere to record it; the thread must not take the process down with it.
            }
        }
        ScopedLock hold(&state->mutex);
        if (finishedLocked(*state)) {
            return;
        }
        // A chunk arrived during the call: it is delivered a whole period after its post.
    }
}

}  // namespace

ReadNotifier::ReadNotifier() : state_(std::make_shared<State>()) {}

ReadNotifier::~ReadNotifier() {
    {
        ScopedLock hold(&state_->mutex);
        state_->stopping = true;
        state_->listener.reset();
    }
    state_->restartCond.notifyOne();
    waitForThread();
}

void ReadNotifier::post(kelso::CSerialPortListener* listener, unsigned int delayMs, const char* portName,
                        unsigned int byteCount) {
    // Not owned: the caller keeps it alive.
    post(std::shared_ptr<kelso::CSerialPortListener>(listener, [](kelso::CSerialPortListener*) {}), delayMs,
         portName, byteCount);
}

void ReadNotifier::post(std::shared_ptr<kelso::CSerialPortListener> listener, unsigned int delayMs,
                        const char* portName, unsigned int byteCount) {
    {
        ScopedLock hold(&state_->mutex);
        state_->listener = std::move(listener);
        state_->delayMs = delayMs;
        copyPortName(state_->portName, portName);
        state_->byteCount = byteCount;
        state_->undelivered = true;
        if (state_->running) {
            // The pending thread delivers the values just stored, a full delay from now.
            state_->restartCond.notifyOne();
            return;
        }
        state_->running = true;
    }
    // The previous thread has cleared `running` and is on its way out; it takes no lock any more.
    waitForThread();
    try {
        thread_ = std::thread(notifyThreadProc, state_);
    } catch (const std::system_error&) {
        // Leaving `running` set would silence this port's delayed notifications for good; clear it so
        // that the next chunk tries again.
        ScopedLock hold(&state_->mutex);
        state_->running = false;
    }
}

void ReadNotifier::restart() {
    {
        ScopedLock hold(&state_->mutex);
        if (!state_->running) {
            return;
        }
    }
    state_->restartCond.notifyOne();
}

void ReadNotifier::cancel(bool wait) {
    {
        ScopedLock hold(&state_->mutex);
        state_->undelivered = false;
        state_->listener.reset();
    }
    // A waiting thread wakes, finds nothing to deliver and ends.
    state_->restartCond.notifyOne();
    if (wait) {
        waitForThread();
    }
}

void ReadNotifier::letThreadEndAlone() {
    if (thread_.joinable()) {
        thread_.detach();
    }
}

void ReadNotifier::waitForThread() {
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();  // called from the listener: the thread ends once it returns
    } else {
        thread_.join();
    }
}
