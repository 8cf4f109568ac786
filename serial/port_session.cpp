#include "serial/port_session.h"

ReceiveThreads::~ReceiveThreads() {
    joinKept();
    // What is left is the calling thread's own: a listener destroying its port. It ends by itself.
    for (auto& session : kept_) {
        if (session->thread.joinable()) {
            session->thread.detach();
        }
    }
}

void ReceiveThreads::finish(const std::shared_ptr<PortSession>& session) {
    if (!session->thread.joinable()) {
        return;
    }
    if (session->thread.get_id() != std::this_thread::get_id()) {
        session->thread.join();
        return;
    }
    std::lock_guard<std::mutex> hold(mutex_);
    kept_.push_back(session);
}

void ReceiveThreads::joinKept() {
    std::vector<std::shared_ptr<PortSession>> joinable;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (auto it = kept_.begin(); it != kept_.end();) {
            if ((*it)->thread.get_id() == std::this_thread::get_id()) {
                ++it;
            } else {
                joinable.push_back(std::move(*it));
                it = kept_.erase(it);
            }
        }
    }
    for (auto& session : joinable) {
        if (session->thread.joinable()) {
            session->thread.join();
        }
    }
}
