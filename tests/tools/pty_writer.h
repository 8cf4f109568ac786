#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tools/virtual_dimmer/virtual_dimmer.h"

// Writes bytes to a virtual port the way a serial port would: open by the published link, write,
// close. True when every byte was written.
inline bool writeToPort(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    ::close(fd);
    return written == static_cast<ssize_t>(bytes.size());
}

// Lets the dimmer read until it has accepted `frames` frames or a second has passed.
inline bool pumpUntilFrames(VirtualDimmer& dimmer, std::uint64_t frames) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (dimmer.acceptedFrames() < frames && std::chrono::steady_clock::now() < deadline) {
        pollfd watched{dimmer.masterFd(), POLLIN, 0};
        if (poll(&watched, 1, 20) > 0 && !dimmer.readAvailable()) {
            return false;
        }
    }
    return dimmer.acceptedFrames() >= frames;
}

// Writes valid frames into a port nonstop, as fast as it takes them, from a thread of its own, until
// it is destroyed, the time is up or the port goes away. It never blocks, so it always stops.
class FrameFlood {
public:
    explicit FrameFlood(const std::string& port, std::chrono::seconds limit = std::chrono::seconds(10))
        : fd_(::open(port.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) {
            return;
        }
        thread_ = std::thread([this, limit] {
            std::vector<std::uint8_t> frames;
            for (int i = 0; i < 1000; ++i) {
                const DimmerFrame frame =
                    buildDimmerFrame(static_cast<std::uint8_t>(i % 25), 0, static_cast<std::uint8_t>(i));
                frames.insert(frames.end(), frame.begin(), frame.end());
            }
            const auto until = std::chrono::steady_clock::now() + limit;
            std::size_t at = 0;
            while (!stop_ && std::chrono::steady_clock::now() < until) {
                const ssize_t written = ::write(fd_, frames.data() + at, frames.size() - at);
                if (written > 0) {
                    at = (at + static_cast<std::size_t>(written)) % frames.size();
                } else if (written < 0 && errno == EAGAIN) {
                    pollfd room{fd_, POLLOUT, 0};
                    poll(&room, 1, 10);
                } else if (written < 0 && errno != EINTR) {
                    break;  // the port went away
                }
            }
        });
    }
    ~FrameFlood() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FrameFlood(const FrameFlood&) = delete;
    FrameFlood& operator=(const FrameFlood&) = delete;

    bool started() const { return fd_ >= 0; }

private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
