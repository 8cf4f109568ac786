#pragma once

#include <vector>

#include "serial/port_session.h"
#include "serial/posix/wake_event.h"

// One opening of a terminal device: its descriptor (the port's until close, also after the device has
// gone), the wake-up the receive thread waits on beside the device, and the halt that close raises to
// end a write or flush held up by the line.
struct ReceiveSession : PortSession {
    explicit ReceiveSession(int deviceFd) : device(deviceFd) {}

    const int device;
    WakeEvent wake;  // drained by the receive thread
    WakeEvent halt;  // raised once, never drained

    // Room for everything a terminal's input queue can hold (4 KiB in Linux), and more.
    static constexpr std::size_t kScratchBytes = 1 << 16;

    // Receive thread only (sized by the opener).
    std::vector<char> scratch;
    unsigned int readMinimum = 0;  // what the device was last told; 0 before the first time
};
