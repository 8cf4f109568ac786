#pragma once

#include <poll.h>
#include <signal.h>

// Turns SIGINT, SIGTERM and SIGHUP into a readable descriptor, so that a poll loop or a socket
// notifier can end the program in an orderly way (and remove the published port) instead of dying.
// One per process; the previous dispositions come back when it is destroyed.
class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable once one of the signals has arrived; -1 when the pipe could not be made.
    int fd() const { return readFd_; }
    // The signal that arrived, 0 if none.
    int received() const;

    // poll() for a loop on one thread that also watches fd(). The signals are held back while the
    // loop works and let in only inside the wait, so one that comes just before the wait cannot
    // slip past it and leave the loop asleep; they stay held back in this thread until destruction.
    int poll(pollfd* fds, nfds_t count, int timeoutMs);

private:
    int readFd_ = -1;
    bool holding_ = false;
    sigset_t held_{};         // the signals, held back outside the wait
    sigset_t outsideWait_{};  // this thread's mask before the first wait
    sigset_t duringWait_{};   // the same without the signals
};
