#pragma once

#include <array>
#include <cstdint>

#include "control/dimmer_frame.h"

// What a dimmer keeps: a level and a mode for each of its 24 channels, all at level 0, mode H at power-on.
struct ChannelState {
    std::uint8_t level = 0;
    DimmerMode mode = DimmerMode::H;
};

class ChannelTable {
public:
    // Applies an accepted frame: channel 0 sets every channel, channel n (1..24) sets that one.
    void apply(const DimmerFrame& frame);

    // Channel 1..24.
    const ChannelState& channel(int number) const { return channels_.at(number - 1); }

private:
    std::array<ChannelState, kDimmerChannelCount> channels_{};
};
