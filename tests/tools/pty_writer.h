#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
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
