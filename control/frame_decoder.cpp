#include "control/frame_decoder.h"

#include <utility>

FrameDecoder::FrameDecoder(FrameHandler onFrame) : onFrame_(std::move(onFrame)) {}

bool FrameDecoder::isValidFrame(const DimmerFrame& frame) {
    return frame[0] == kDimmerFrameHeader && frame[1] <= kDimmerChannelCount &&
           frame[2] <= static_cast<std::uint8_t>(DimmerMode::L) && frame[4] == 0 &&
           frame[5] == dimmerFrameChecksum(frame.data());
}

void FrameDecoder::feed(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        push(data[i]);
    }
}

void FrameDecoder::push(std::uint8_t byte) {
    if (pending_ == 0 && byte != kDimmerFrameHeader) {
        ++rejected_;
        return;
    }
    buffer_[pending_++] = byte;
    if (pending_ < kDimmerFrameSize) {
        return;
    }
    pending_ = 0;
    if (isValidFrame(buffer_)) {
        ++accepted_;
        if (onFrame_) {
            onFrame_(buffer_);
        }
        return;
    }
    // Give up this header only; a real header may hide among the five bytes after it. Feeding those
    // five again cannot complete another six-byte candidate, so this recurses at most once.
    ++rejected_;
    const DimmerFrame candidate = buffer_;
    for (std::size_t i = 1; i < kDimmerFrameSize; ++i) {
        push(candidate[i]);
    }
}
