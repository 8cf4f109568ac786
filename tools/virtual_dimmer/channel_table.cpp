#include "tools/virtual_dimmer/channel_table.h"

void ChannelTable::apply(const DimmerFrame& frame) {
    const ChannelState state{frame[3], static_cast<DimmerMode>(frame[2])};
    const std::uint8_t target = frame[1];
    if (target == 0) {
        channels_.fill(state);
    } else if (target <= kDimmerChannelCount) {
        channels_[target - 1] = state;
    }
}
