#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/published_port.h"
#include "control/dimmer_frame.h"
#include "control/frame_decoder.h"
#include "tools/virtual_dimmer/channel_table.h"
#include "tools/virtual_dimmer/pseudo_terminal.h"

// The virtual dimmer without any front end: a pseudo-terminal published as a virtual port, a frame
// decoder on what arrives there, and the table of channel levels and modes that the frames set.
//
// It starts no thread. Its owner waits until masterFd() is readable (poll, a socket notifier) and
// then calls readAvailable(), which decodes what is queued, up to kReadPassBytes, and reports each
// accepted frame. The bound keeps a writer that never pauses from holding the owner's loop: between
// passes the loop gets back to its signals and its window.
class VirtualDimmer {
public:
    using FrameHandler = std::function<void(const DimmerFrame&)>;

    static constexpr std::size_t kReadPassBytes = 64 * 1024;

    // Nullptr on failure, with the reason in error. portDirectory is where the port is published; a
    // name that is an entry of /dev (ptmx, null, tty, console) is refused.
    static std::unique_ptr<VirtualDimmer> start(const std::string& portDirectory, const std::string& portName,
                                                std::string& error);

    void onFrame(FrameHandler handler) { onFrame_ = std::move(handler); }

    // Reads and decodes what is queued on the pseudo-terminal, at most kReadPassBytes; false when
    // reading failed for a reason other than having nothing more to read.
    bool readAvailable();

    int masterFd() const { return terminal_->masterFd(); }
    const std::string& ptyPath() const { return terminal_->slavePath(); }
    const PublishedPort& port() const { return *port_; }

    const ChannelTable& channels() const { return table_; }
    std::uint64_t acceptedFrames() const { return decoder_.acceptedFrames(); }
    std::uint64_t rejectedBytes() const { return decoder_.rejectedBytes(); }
    // The last accepted frame; meaningful once acceptedFrames() is above 0.
    const DimmerFrame& lastFrame() const { return lastFrame_; }

private:
    VirtualDimmer(std::unique_ptr<PseudoTerminal> terminal, std::unique_ptr<PublishedPort> port);
    void accept(const DimmerFrame& frame);

    std::unique_ptr<PseudoTerminal> terminal_;
    std::unique_ptr<PublishedPort> port_;
    FrameDecoder decoder_;
    ChannelTable table_;
    DimmerFrame lastFrame_{};
    FrameHandler onFrame_;
};
