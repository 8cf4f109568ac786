#pragma once

#include <vector>

#include "serial/port_session.h"
#include "serial/posix/wake_event.h"

// One opening of a terminal device: its descriptor (the port's until close, also after the device has
// gone), and what the receive thread works with: the wake-up it waits on beside the device.
struct ReceiveSession : PortSession {
    ReceiveSession(int deviceFd, const char* name, bool async) : device(deviceFd) {
        copyPortName(portName, name);
        asynchronous = async;
    }

    const int device;
    WakeEvent wake;

    // Room for everything a terminal's input queue can hold (4 KiB in Linux), and more.
    static constexpr std::size_t kScratchBytes = 1 << 16;

    // Receive thread only (sized by the opener).
    std::vector<char> scratch;
    unsigned int readMinimum = 0;  // what the device was last told; 0 before the first time
};
