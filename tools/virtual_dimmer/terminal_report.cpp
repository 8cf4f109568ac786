#include "tools/virtual_dimmer/terminal_report.h"

#include <algorithm>

#include "tools/virtual_dimmer/channel_report.h"

namespace {

constexpr std::chrono::seconds kSecond{1};

int millisecondsUntil(TerminalReport::Clock::time_point when, TerminalReport::Clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

}  // namespace

void TerminalReport::closeSecond(Clock::time_point now) {
    if (secondOpen_ && now - secondStart_ >= kSecond) {
        if (notShown_ > 0) {
            print_("... and " + std::to_string(notShown_) + " more frames in that second, not shown\n");
        }
        secondOpen_ = false;
        linesThisSecond_ = 0;
        notShown_ = 0;
    }
}

void TerminalReport::frame(const DimmerFrame& frame, Clock::time_point now) {
    closeSecond(now);
    if (!secondOpen_) {
        secondOpen_ = true;
        secondStart_ = now;
    }
    tableChanged_ = true;
    if (linesThisSecond_ < kFrameLinesPerSecond) {
        ++linesThisSecond_;
        print_(describeFrame(frame) + "\n");
    } else {
        ++notShown_;
    }
}

void TerminalReport::tick(const ChannelTable& table, Clock::time_point now) {
    closeSecond(now);
    if (tableChanged_ && (!tablePrinted_ || now - tableAt_ >= kTableInterval)) {
        print_(channelTableText(table));
        tableChanged_ = false;
        tablePrinted_ = true;
        tableAt_ = now;
    }
}

int TerminalReport::msUntilDue(Clock::time_point now) const {
    int due = -1;
    if (secondOpen_ && notShown_ > 0) {
        due = millisecondsUntil(secondStart_ + kSecond, now);
    }
    if (tableChanged_) {
        const int table = tablePrinted_ ? millisecondsUntil(tableAt_ + kTableInterval, now) : 0;
        due = due < 0 ? table : std::min(due, table);
    }
    return due;
}
