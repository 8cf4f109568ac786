#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_port_listener.h"

// Remembers every call with its time and thread; safe to call from any thread.
class RecordingListener : public kelso::CSerialPortListener {
public:
    struct Call {
        std::string portName;
        unsigned int byteCount;
        std::chrono::steady_clock::time_point at;
        std::thread::id thread;
    };

    void onDataReceived(const char* portName, unsigned int byteCount) override {
        std::lock_guard<std::mutex> hold(mutex_);
        calls_.push_back({portName, byteCount, std::chrono::steady_clock::now(), std::this_thread::get_id()});
        changed_.notify_all();
    }

    std::vector<Call> calls() {
        std::lock_guard<std::mutex> hold(mutex_);
        return calls_;
    }

    std::size_t count() {
        std::lock_guard<std::mutex> hold(mutex_);
        return calls_.size();
    }

    void clear() {
        std::lock_guard<std::mutex> hold(mutex_);
        calls_.clear();
    }

    // Waits until at least n calls have arrived or the time is up; true when they have.
    bool waitForCalls(std::size_t n, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, limit, [&] { return calls_.size() >= n; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};
