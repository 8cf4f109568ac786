#include "tools/bridge/frame_scheduler.h"

#include <algorithm>

namespace {

constexpr int kBitsPerFrame = static_cast<int>(kDimmerFrameSize) * 10;

}  // namespace

FrameScheduler::FrameScheduler(DimmerMode mode, std::int32_t baudRate)
    : mode_(mode),
      frameTime_(std::chrono::duration_cast<BridgeClock::duration>(
          std::chrono::nanoseconds(1000000000LL * kBitsPerFrame / std::max<std::int32_t>(baudRate, 1)))) {
    sent_.fill(-1);
}

void FrameScheduler::want(const DimmerLevels& levels) {
    for (std::size_t c = 0; c < levels.size(); ++c) {
        if (started_ && wanted_[c] != sent_[c] && levels[c] != wanted_[c]) {
            ++levelsDropped_;  // a level that never reached the dimmer is overtaken
        }
    }
    wanted_ = levels;
    started_ = true;
}

void FrameScheduler::setRefreshing(bool on, BridgeClock::time_point now) {
    if (on && !refreshing_) {
        nextRefresh_ = now + kRefreshStep;
    }
    refreshing_ = on;
}

void FrameScheduler::forgetSent() {
    sent_.fill(-1);
}

bool FrameScheduler::pending() const {
    if (!started_) {
        return false;
    }
    for (std::size_t c = 0; c < wanted_.size(); ++c) {
        if (wanted_[c] != sent_[c]) {
            return true;
        }
    }
    return false;
}

std::optional<BridgeClock::time_point> FrameScheduler::wakeAt() const {
    const BridgeClock::time_point room = lineFreeAt_ - (kMaxFramesAhead - 1) * frameTime_;
    if (pending()) {
        return room;
    }
    if (refreshing_ && started_) {
        return std::max(room, nextRefresh_);
    }
    return std::nullopt;
}

std::optional<DimmerFrame> FrameScheduler::next(BridgeClock::time_point now) {
    if (lineFreeAt_ - now > (kMaxFramesAhead - 1) * frameTime_) {
        return std::nullopt;
    }
    if (!pending()) {
        if (!refreshing_ || !started_ || now < nextRefresh_) {
            return std::nullopt;
        }
        // After a late wake-up the next step is half a step at least: never a burst of refreshes.
        nextRefresh_ = std::max(nextRefresh_ + kRefreshStep, now + kRefreshStep / 2);
        const auto longestAgo = std::min_element(sentAt_.begin(), sentAt_.end());
        return sendChannel(static_cast<std::size_t>(longestAgo - sentAt_.begin()), now);
    }

    std::size_t differing = 0;
    for (std::size_t c = 0; c < wanted_.size(); ++c) {
        differing += wanted_[c] != sent_[c] ? 1 : 0;
    }
    const std::uint8_t first = wanted_[0];
    if (differing > 1 &&
        std::all_of(wanted_.begin(), wanted_.end(), [first](std::uint8_t l) { return l == first; })) {
        lineFreeAt_ = std::max(lineFreeAt_, now) + frameTime_;
        ++framesSent_;
        sent_.fill(first);
        sentAt_.fill(now);
        return buildDimmerFrame(0, static_cast<std::uint8_t>(mode_), first);
    }
    // pending() found a difference, so the turn ends at one.
    std::size_t c = lastChannel_;
    do {
        c = (c + 1) % wanted_.size();
    } while (wanted_[c] == sent_[c]);
    lastChannel_ = c;
    return sendChannel(c, now);
}

DimmerFrame FrameScheduler::sendChannel(std::size_t c, BridgeClock::time_point now) {
    lineFreeAt_ = std::max(lineFreeAt_, now) + frameTime_;
    ++framesSent_;
    sent_[c] = wanted_[c];
    sentAt_[c] = now;
    return buildDimmerFrame(static_cast<std::uint8_t>(c + 1), static_cast<std::uint8_t>(mode_), wanted_[c]);
}
