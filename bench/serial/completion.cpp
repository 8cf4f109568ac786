#include "peer.h"

void Completion::finish() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        finished_ = true;
    }
    done_.notify_all();
    if (hook_) {
        hook_();
    }
}

void Completion::wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    done_.wait(hold, [this] { return finished_; });
}
