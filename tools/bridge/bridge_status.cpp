#include "tools/bridge/bridge_status.h"

#include <cstdio>

namespace {

std::string counterText(const BridgeCounters& c, const char* gap) {
    const std::string g = gap;
    return "packets " + std::to_string(c.packets) + g + "bad " + std::to_string(c.bad) + g + "ignored " +
           std::to_string(c.ignored) + g + "other universes " + std::to_string(c.otherUniverse) + g +
           "out of order " + std::to_string(c.outOfOrder) + g + "frames " + std::to_string(c.framesSent) + g +
           "dropped " + std::to_string(c.levelsDropped);
}

// What was refused and why, or empty when nothing was.
std::string refusedText(const BridgeCounters& c) {
    const std::uint64_t turnedAway = c.turnedAwayAddress + c.turnedAwayTableFull;
    if (c.notAllowed + c.wrongAddress + turnedAway == 0) {
        return "";
    }
    return "refused: not allowed " + std::to_string(c.notAllowed) + ", CID from a wrong address " +
           std::to_string(c.wrongAddress) + ", new sources turned away " + std::to_string(turnedAway) +
           " (too many from one address " + std::to_string(c.turnedAwayAddress) +
           ", table full of higher priorities " + std::to_string(c.turnedAwayTableFull) + ")";
}

std::string sourceText(const BridgeCounters& c) {
    return "sources " + std::to_string(c.sources) +
           (c.controllingSource.empty() ? std::string() : ", in control: " + c.controllingSource) +
           (c.portLost ? "; the port has gone, waiting for it" : "");
}

// Levels of channels first..last (1-based), each right-aligned in four columns.
std::string levelRow(const DimmerLevels& levels, std::size_t first, std::size_t last) {
    char label[16];
    std::snprintf(label, sizeof label, "CH%2zu-%2zu", first, last);
    std::string row = label;
    for (std::size_t c = first; c <= last; ++c) {
        char level[8];
        std::snprintf(level, sizeof level, " %3u", static_cast<unsigned>(levels[c - 1]));
        row += level;
    }
    return row;
}

}  // namespace

bool operator==(const BridgeCounters& a, const BridgeCounters& b) {
    return a.packets == b.packets && a.bad == b.bad && a.ignored == b.ignored &&
           a.otherUniverse == b.otherUniverse && a.outOfOrder == b.outOfOrder &&
           a.framesSent == b.framesSent && a.levelsDropped == b.levelsDropped &&
           a.notAllowed == b.notAllowed && a.wrongAddress == b.wrongAddress &&
           a.turnedAwayAddress == b.turnedAwayAddress && a.turnedAwayTableFull == b.turnedAwayTableFull &&
           a.sources == b.sources && a.controllingSource == b.controllingSource && a.portLost == b.portLost &&
           a.levels == b.levels;
}

std::string statusBlock(const BridgeCounters& counters) {
    const std::string refused = refusedText(counters);
    return counterText(counters, "  ") + "\n" + (refused.empty() ? "" : refused + "\n") +
           sourceText(counters) + "\n" + levelRow(counters.levels, 1, 12) + "\n" +
           levelRow(counters.levels, 13, 24) + "\n";
}

std::string statusLine(const BridgeCounters& counters) {
    const std::string refused = refusedText(counters);
    std::string line = counterText(counters, " ") + " " + (refused.empty() ? "" : refused + " ") +
                       sourceText(counters) + " levels";
    for (std::uint8_t level : counters.levels) {
        line += " " + std::to_string(level);
    }
    return line + "\n";
}

std::optional<BridgeClock::time_point> StatusDisplay::update(const BridgeCounters& counters,
                                                             BridgeClock::time_point now) {
    if (style_ == Style::Off || (shown_ && *shown_ == counters)) {
        return std::nullopt;
    }
    const BridgeClock::duration interval =
        style_ == Style::Live ? std::chrono::milliseconds(100) : std::chrono::seconds(1);
    if (shown_ && now - shownAt_ < interval) {
        return shownAt_ + interval;
    }
    show(counters);
    shownAt_ = now;
    return std::nullopt;
}

void StatusDisplay::finish(const BridgeCounters& counters) {
    if (style_ != Style::Off && !(shown_ && *shown_ == counters)) {
        show(counters);
    }
}

void StatusDisplay::show(const BridgeCounters& counters) {
    shown_ = counters;
    if (style_ == Style::Log) {
        std::fputs(statusLine(counters).c_str(), out_);
    } else {
        // Back to the first line of the last block, then each line anew.
        if (linesDrawn_ > 0) {
            std::fprintf(out_, "\x1b[%dA", linesDrawn_);
        }
        const std::string block = statusBlock(counters);
        linesDrawn_ = 0;
        for (std::size_t start = 0; start < block.size();) {
            const std::size_t end = block.find('\n', start);
            std::fprintf(out_, "\x1b[2K%s\n", block.substr(start, end - start).c_str());
            ++linesDrawn_;
            start = end + 1;
        }
    }
    std::fflush(out_);
}
