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
class FrameScheduler {
public:
    static constexpr int kMaxFramesAhead = 2;

    FrameScheduler(DimmerMode mode, std::int32_t baudRate);

    // The newest levels for the dimmer.
    void want(const DimmerLevels& levels);

    // The frame to write now, when a level differs and the line has room; it counts as sent.
    std::optional<DimmerFrame> next(BridgeClock::time_point now);
    // When the line will have room again for a frame that waits, if one waits.
    std::optional<BridgeClock::time_point> wakeAt() const;
    bool pending() const;

    std::uint64_t framesSent() const { return framesSent_; }
    std::uint64_t levelsDropped() const { return levelsDropped_; }

private:
    DimmerMode mode_;
    BridgeClock::duration frameTime_;
    DimmerLevels wanted_{};
    std::array<int, kDimmerChannelCount> sent_;  // -1: the dimmer's level is not known
    bool started_ = false;                       // want() was called at least once
    std::size_t lastChannel_ = kDimmerChannelCount - 1;
    BridgeClock::time_point lineFreeAt_{};
    std::uint64_t framesSent_ = 0;
    std::uint64_t levelsDropped_ = 0;
};
