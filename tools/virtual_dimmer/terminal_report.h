#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "control/dimmer_frame.h"
#include "tools/virtual_dimmer/channel_table.h"

// What the terminal front end prints, bounded whatever the rate of frames, so that a writer that
// never pauses cannot bury the terminal (or a log) under output:
//   - every accepted frame has its own "frame AA .." line (scripts and tests read them), up to
//     kFrameLinesPerSecond in each second; beyond that the frames are counted, and once the second
//     is over one line says how many were not shown;
//   - the channel table follows a change, at most once every kTableInterval.
class TerminalReport {
public:
    using Clock = std::chrono::steady_clock;
    using Print = std::function<void(const std::string&)>;

    static constexpr std::uint64_t kFrameLinesPerSecond = 2000;
    static constexpr std::chrono::milliseconds kTableInterval{250};

    explicit TerminalReport(Print print) : print_(std::move(print)) {}

    // An accepted frame (the table has taken it already).
    void frame(const DimmerFrame& frame, Clock::time_point now);
    // Prints what has come due by now: the count of frames not shown, the table after a change.
    void tick(const ChannelTable& table, Clock::time_point now);
    // Milliseconds until tick has something to print; -1 when nothing waits.
    int msUntilDue(Clock::time_point now) const;

private:
    void closeSecond(Clock::time_point now);

    Print print_;
    bool secondOpen_ = false;
    Clock::time_point secondStart_;
    std::uint64_t linesThisSecond_ = 0;
    std::uint64_t notShown_ = 0;
    bool tableChanged_ = false;
    bool tablePrinted_ = false;
    Clock::time_point tableAt_;
};
