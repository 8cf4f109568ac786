#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/port_settings.h"

// One opening of a port, from open to close: what the port shares with the receive thread it started.
// The thread holds a share, so a session outlives the port's interest in it for as long as the thread
// runs; once `running` is clear the thread touches nothing of the port any more, which lets a listener
// close, reopen or even destroy the port from inside its call.
struct PortSession {
    virtual ~PortSession() = default;

    std::atomic<bool> running{true};        // cleared by close
    std::atomic<bool> lost{false};          // the device has gone; set once, under the port's mutex
    bool asynchronous = true;               // the I/O mode the device was opened in
    char portName[kPortNameCapacity] = {};  // the name the thread reports
    std::thread thread;                     // none in Synchronous mode
};

// The receive threads of a port that still have to be joined. Close ends a session's thread and joins
// it, except from that very thread (a listener closing its own port): such a thread is kept here and
// joined by the next open or close, or let go (it holds its session) when the port is destroyed.
class ReceiveThreads {
public:
    ReceiveThreads() = default;
    ReceiveThreads(const ReceiveThreads&) = delete;
    ReceiveThreads& operator=(const ReceiveThreads&) = delete;
    ~ReceiveThreads();

    // Joins the session's thread, or keeps it when it is the calling thread.
    void finish(const std::shared_ptr<PortSession>& session);
    // Joins every kept thread but the calling one.
    void joinKept();

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<PortSession>> kept_;
};
