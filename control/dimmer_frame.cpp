#include "control/dimmer_frame.h"

std::uint8_t dimmerFrameChecksum(const std::uint8_t* firstFiveBytes) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < kDimmerFrameSize; ++i) {
        sum ^= firstFiveBytes[i];
    }
    return sum;
}

DimmerFrame buildDimmerFrame(std::uint8_t channel, std::uint8_t mode, std::uint8_t level) {
    DimmerFrame frame{kDimmerFrameHeader, channel, mode, level, 0, 0};
    frame[5] = dimmerFrameChecksum(frame.data());
    return frame;
}
