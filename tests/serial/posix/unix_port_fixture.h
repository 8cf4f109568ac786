#pragma once

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <string>
#include <thread>

#include "pty_pair.h"
#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/port_contract.h"

// A port on a fresh pseudo-terminal, its listener called straight from the receive thread.
class UnixPortTest : public ::testing::Test {
protected:
    bool openPort(std::uint32_t ringSize = 4096, IoMode mode = IoMode::Asynchronous) {
        port.init(pty.slavePath().c_str(), 115200, Parity::None, 8, StopBits::One, FlowControl::None,
                  ringSize);
        port.setIoMode(mode);
        port.setReadNotifyDelay(0);
        port.setListener(&listener);
        return port.open();
    }

    bool waitForAvailable(std::int32_t count) {
        return contract::waitUntil([&] { return port.bytesAvailable() >= count; });
    }
    // What waits in the line's input queue, not yet taken by the port (-1 when it cannot tell).
    int queuedOnTheLine() {
        int queued = 0;
        return ioctl(pty.slave(), FIONREAD, &queued) == 0 ? queued : -1;
    }
    std::string readAll() { return contract::readAll(port); }

    // Declared in this order so that the port goes first, then its listener, then the line.
    PtyPair pty;
    RecordingListener listener;
    CSerialPortUnixBase port;
};
