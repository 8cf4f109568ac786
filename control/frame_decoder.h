#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "control/dimmer_frame.h"

// Turns a byte stream from the serial line back into dimmer frames: the receiving side of the
// protocol, used by the virtual dimmer and by the tests that check what reached the wire.
//
// Bytes may arrive in any chunking. A frame is accepted when its header is 0xAA, its checksum is
// right, its reserved byte is 0, its channel is 0..24 and its mode is H or L. Anything else is
// rejected one byte at a time, and the search for the next header starts again at the byte after the
// rejected one, so a valid frame that follows (or hides inside) garbage is never lost.
class FrameDecoder {
public:
    using FrameHandler = std::function<void(const DimmerFrame&)>;

    explicit FrameDecoder(FrameHandler onFrame);

    void feed(const std::uint8_t* data, std::size_t size);

    std::uint64_t acceptedFrames() const { return accepted_; }
    std::uint64_t rejectedBytes() const { return rejected_; }
    // Bytes of a frame begun but not yet complete.
    std::size_t pendingBytes() const { return pending_; }

    static bool isValidFrame(const DimmerFrame& frame);

private:
    void push(std::uint8_t byte);

    FrameHandler onFrame_;
    DimmerFrame buffer_{};
    std::size_t pending_ = 0;
    std::uint64_t accepted_ = 0;
    std::uint64_t rejected_ = 0;
};
