#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "serial/port_settings.h"
#include "serial/posix/wake_event.h"

// What one receive thread works with, from the open that starts it until it ends: its own copy of
// the device descriptor and of the port name, the wake-up it waits on beside the device, and its
// stop flag. The thread shares ownership, so a session outlives the port's interest in it for as
// long as its thread still runs; the thread touches nothing of the port after its stop flag is
// cleared.
struct ReceiveSession {
    ReceiveSession(int deviceFd, const char* name) : device(deviceFd) { copyPortName(portName, name); }

    const int device;
    char portName[kPortNameCapacity] = {};
    WakeEvent wake;
    std::atomic<bool> running{true};
    std::thread thread;

    // Room for everything a terminal's input queue can hold (4 KiB in Linux), and more.
    static constexpr std::size_t kScratchBytes = 1 << 16;

    // Receive thread only (sized by the opener).
    std::vector<char> scratch;
    unsigned int readMinimum = 0;  // what the device was last told; 0 before the first time
};
