#include "tools/virtual_dimmer/channel_report.h"

#include <cstdio>

std::string frameInHex(const DimmerFrame& frame) {
    std::string text;
    for (std::uint8_t byte : frame) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        text += text.empty() ? "" : " ";
        text += hex;
    }
    return text;
}

const char* modeName(DimmerMode mode) {
    return mode == DimmerMode::L ? "L" : "H";
}

std::string describeFrame(const DimmerFrame& frame) {
    const std::string target = frame[1] == 0 ? "ALL CH" : "CH" + std::to_string(frame[1]);
    return "frame " + frameInHex(frame) + "  " + target + "  mode " +
           modeName(static_cast<DimmerMode>(frame[2])) + "  level " + std::to_string(frame[3]);
}

std::string channelTableText(const ChannelTable& table) {
    std::string text;
    for (int number = 1; number <= kDimmerChannelCount; ++number) {
        const ChannelState& state = table.channel(number);
        char cell[32];
        std::snprintf(cell, sizeof cell, "CH%-2d %s %3u", number, modeName(state.mode), state.level);
        text += cell;
        text += number % 6 == 0 ? "\n" : "   ";
    }
    return text;
}
