#pragma once

#include <string>

#include "control/dimmer_frame.h"
#include "tools/virtual_dimmer/channel_table.h"

// Texts the front ends show.

// "AA 05 00 80 00 2F"
std::string frameInHex(const DimmerFrame& frame);

// "frame AA 05 00 80 00 2F  CH5  mode H  level 128" ("ALL CH" for channel 0)
std::string describeFrame(const DimmerFrame& frame);

// The 24 channels in 4 rows of 6, as the panel lays out its buttons: "CH1  H   0" ...
std::string channelTableText(const ChannelTable& table);

// "H" or "L"
const char* modeName(DimmerMode mode);
