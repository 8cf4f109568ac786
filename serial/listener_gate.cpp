#include "serial/listener_gate.h"

#include <algorithm>

void ListenerGate::setListener(kelso::CSerialPortListener* listener) {
    std::unique_lock<std::mutex> hold(mutex_);
    listener_ = listener;
    waitForOtherCalls(hold);
}

void ListenerGate::setLossListener(kelso::CPortLossListener* listener) {
    std::unique_lock<std::mutex> hold(mutex_);
    lossListener_ = listener;
    waitForOtherCalls(hold);
}

kelso::CSerialPortListener* ListenerGate::listener() {
    std::lock_guard<std::mutex> hold(mutex_);
    return listener_;
}

void ListenerGate::allow() {
    std::lock_guard<std::mutex> hold(mutex_);
    allowed_ = true;
}

void ListenerGate::forbid() {
    std::unique_lock<std::mutex> hold(mutex_);
    allowed_ = false;
    waitForOtherCalls(hold);
}

bool ListenerGate::callingHere() {
    std::lock_guard<std::mutex> hold(mutex_);
    return callingHereLocked();
}

void ListenerGate::detachStatus() {
    std::lock_guard<std::mutex> hold(mutex_);
    status_ = nullptr;
}

void ListenerGate::onDataReceived(const char* portName, unsigned int byteCount) {
    callListener(&ListenerGate::listener_, nullptr,
                 [&](kelso::CSerialPortListener* target) { target->onDataReceived(portName, byteCount); });
}

void ListenerGate::onDataReceived(const char* portName, unsigned int byteCount,
                                  const std::atomic<bool>& running) {
    callListener(&ListenerGate::listener_, &running,
                 [&](kelso::CSerialPortListener* target) { target->onDataReceived(portName, byteCount); });
}

void ListenerGate::onPortLost(const char* portName, const std::atomic<bool>& running) {
    callListener(&ListenerGate::lossListener_, &running,
                 [&](kelso::CPortLossListener* target) { target->onPortLost(portName); });
}

template <class Listener, class Call>
void ListenerGate::callListener(Listener* ListenerGate::*target, const std::atomic<bool>* running,
                                Call call) {
    Listener* listener;
    {
        // Close clears `running` before it forbids calls, under this lock: a call looked at after
        // that sees it cleared, and one already running is waited for by forbid.
        std::lock_guard<std::mutex> hold(mutex_);
        if (!allowed_ || this->*target == nullptr || (running != nullptr && !*running)) {
            return;
        }
        listener = this->*target;
        calling_.push_back(std::this_thread::get_id());
    }
    bool threw = false;
    try {
        call(listener);
    } catch (...) {
        threw = true;
    }
    std::lock_guard<std::mutex> hold(mutex_);
    if (threw && status_ != nullptr) {
        status_->store(SerialStatus::UnknownError);
    }
    calling_.erase(std::find(calling_.begin(), calling_.end(), std::this_thread::get_id()));
    callEnded_.notify_all();
}

bool ListenerGate::callingHereLocked() const {
    return std::find(calling_.begin(), calling_.end(), std::this_thread::get_id()) != calling_.end();
}

void ListenerGate::waitForOtherCalls(std::unique_lock<std::mutex>& hold) {
    if (callingHereLocked()) {
        return;
    }
    callEnded_.wait(hold, [this] { return calling_.empty(); });
}
