#pragma once

// A descriptor another thread can make readable, to end a wait in poll() at once: the receive
// thread watches it beside the device, and close() signals it. Signals made before the wait are
// kept until drained, so none is lost between deciding to wait and waiting.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when the system gave no descriptor.
    bool isValid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void signal();
    void drain();

private:
    int fd_;
};
