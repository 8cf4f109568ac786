#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "pty_pair.h"
#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/recording_listener.h"

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

    // Waits until the port's receive buffer holds count bytes.
    bool waitForAvailable(std::int32_t count,
                          std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (port.bytesAvailable() < count) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::string readAll() {
        std::string out(static_cast<std::size_t>(port.bytesAvailable()), '\0');
        const std::int32_t got = port.read(out.data(), static_cast<std::int32_t>(out.size()));
        out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return out;
    }

    // Declared in this order so that the port goes first, then its listener, then the line.
    PtyPair pty;
    RecordingListener listener;
    CSerialPortUnixBase port;
};
