#pragma once

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

private:
    int readFd_ = -1;
};
