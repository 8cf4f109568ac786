#pragma once

#include <cstdint>
#include <optional>

#include "control/dimmer_frame.h"
#include "tools/bridge/dimmer_levels.h"

// Decides, each time the line can take a frame, which frame goes next: never a queue of values, only
// the newest levels set against what the dimmer last got.
//
// Only channels whose level differs from the one last sent are sent, one frame each, taken in turn
// after the last channel sent so that a busy channel cannot starve the others. When every channel is
// to take one level and more than one of them differs, one frame for channel 0 does it. A level that
// is replaced before it was sent is dropped (and counted), never sent late.
//
// The line takes 60 bits a frame (start and stop bits included). The scheduler keeps track of when
// the line will have carried what was written, and lets a new frame go only while no more than
// kMaxFramesAhead frames wait for the line, so that no value sits in a queue the bridge cannot take
// back. Nothing here reads a clock: the caller passes the time.
//
// The line is not acknowledged: a frame lost on it, or a dimmer switched off and on, would leave a
// channel wrong until its level changes. While refreshing, one frame every kRefreshStep repeats the
// level of the channel that went longest ago, so that every channel goes again within
// kRefreshInterval (24 frames in 1.92 s, about 0.65 % of the line). A refresh goes only when no
// change waits: it never holds one back.
class FrameScheduler {
public:
    static constexpr int kMaxFramesAhead = 2;
    static constexpr BridgeClock::duration kRefreshInterval = std::chrono::seconds(2);
    static constexpr BridgeClock::duration kRefreshStep = kRefreshInterval / (kDimmerChannelCount + 1);

    FrameScheduler(DimmerMode mode, std::int32_t baudRate);

    // The newest levels for the dimmer.
    void want(const DimmerLevels& levels);
    // Whether to repeat the levels that did not change (while a source is in control).
    void setRefreshing(bool on, BridgeClock::time_point now);
    // The dimmer's levels are not known any more (its port was opened again): every channel goes anew.
    void forgetSent();

    // The frame to write now, when a level differs and the line has room; it counts as sent.
    std::optional<DimmerFrame> next(BridgeClock::time_point now);
    // When the line will have room again for a frame that waits, or the next refresh is due.
    std::optional<BridgeClock::time_point> wakeAt() const;
    bool pending() const;

    std::uint64_t framesSent() const { return framesSent_; }
    std::uint64_t levelsDropped() const { return levelsDropped_; }

private:
    DimmerFrame sendChannel(std::size_t channel, BridgeClock::time_point now);

    DimmerMode mode_;
    BridgeClock::duration frameTime_;
    DimmerLevels wanted_{};
    std::array<int, kDimmerChannelCount> sent_;  // -1: the dimmer's level is not known
    bool started_ = false;                       // want() was called at least once
    std::size_t lastChannel_ = kDimmerChannelCount - 1;
    BridgeClock::time_point lineFreeAt_{};
    std::array<BridgeClock::time_point, kDimmerChannelCount> sentAt_{};
    bool refreshing_ = false;
    BridgeClock::time_point nextRefresh_{};
    std::uint64_t framesSent_ = 0;
    std::uint64_t levelsDropped_ = 0;
};
