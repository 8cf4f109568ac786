#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "control/dimmer_frame.h"

// The 24 levels the bridge keeps the dimmer at, channel 1 first, and the clock it times them by.
using DimmerLevels = std::array<std::uint8_t, kDimmerChannelCount>;
using BridgeClock = std::chrono::steady_clock;
