#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "serial/port_settings.h"
#include "serial/serial_port_listener.h"
#include "serial/sync.h"

// Delays read notifications so that a burst of received chunks gives the listener one call: each post
// starts (or prolongs) a quiet period of delayMs, and when a whole period passes without a further post
// the listener is called once, on a notification thread of the notifier's own, with the port name and
// byte count of the latest post. At most one notification thread runs at a time.
//
// post is called from one thread (the port's receive thread). The notifier owns its thread: destroying
// it ends a pending notification without delivering it and joins the thread.
class ReadNotifier {
public:
    ReadNotifier();
    ~ReadNotifier();
    ReadNotifier(const ReadNotifier&) = delete;
    ReadNotifier& operator=(const ReadNotifier&) = delete;

    void post(kelso::CSerialPortListener* listener, unsigned int delayMs, const char* portName,
              unsigned int byteCount);
    // Makes a pending notification wait its full delay again.
    void restart();

private:
    void notifyThreadProc();
    bool startThread();

    // Guarded by mutex_: the flags and the values of the latest post.
    bool running_ = false;
    bool restartPending_ = false;
    std::unique_ptr<kelso::IConditionVariable> finishedCond_;
    std::unique_ptr<kelso::IConditionVariable> restartCond_;
    std::unique_ptr<kelso::IMutex> mutex_;
    std::thread thread_;
    unsigned int delayMs_ = 0;
    char portName_[kPortNameCapacity] = {};
    unsigned int byteCount_ = 0;
    kelso::CSerialPortListener* listener_ = nullptr;
    void (kelso::CSerialPortListener::*handler_)(const char*, unsigned int) = nullptr;

    // A post that the running thread has not delivered yet; lets a chunk that arrives while the
    // listener is being called get a notification of its own instead of being lost.
    bool undelivered_ = false;
    std::atomic<bool> stopping_{false};
};
