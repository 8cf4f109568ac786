#include "tools/virtual_dimmer/virtual_dimmer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

std::unique_ptr<VirtualDimmer> VirtualDimmer::start(const std::string& portDirectory,
                                                    const std::string& portName, std::string& error) {
    if (shadowsDevice(portName)) {
        error = "'" + portName + "' is the name of /dev/" + portName +
                "; a port of that name would stand for that device. Choose another name (--name).";
        return nullptr;
    }
    std::unique_ptr<PseudoTerminal> terminal = PseudoTerminal::open(error);
    if (!terminal) {
        return nullptr;
    }
    std::unique_ptr<PublishedPort> port =
        PublishedPort::publish(portDirectory, portName, terminal->slavePath(), error);
    if (!port) {
        return nullptr;
    }
    return std::unique_ptr<VirtualDimmer>(new VirtualDimmer(std::move(terminal), std::move(port)));
}

// The port goes before the terminal it points to (members are destroyed in reverse order).
VirtualDimmer::VirtualDimmer(std::unique_ptr<PseudoTerminal> terminal, std::unique_ptr<PublishedPort> port)
    : terminal_(std::move(terminal)),
      port_(std::move(port)),
      decoder_([this](const DimmerFrame& frame) { accept(frame); }) {}

bool VirtualDimmer::readAvailable() {
    std::uint8_t chunk[4096];
    for (std::size_t taken = 0; taken < kReadPassBytes;) {
        const ssize_t got =
            ::read(terminal_->masterFd(), chunk, std::min(sizeof chunk, kReadPassBytes - taken));
        if (got > 0) {
            decoder_.feed(chunk, static_cast<std::size_t>(got));
            taken += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;  // more may be queued; the owner's next poll says so
}

void VirtualDimmer::accept(const DimmerFrame& frame) {
    table_.apply(frame);
    lastFrame_ = frame;
    if (onFrame_) {
        onFrame_(frame);
    }
}
