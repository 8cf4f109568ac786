// What goes on the line: only changed channels, the newest level, one channel-0 frame for one level
// everywhere, channels in turn, no more frames than the line carries, and every level again within
// two seconds in the line's spare time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/bridge/frame_scheduler.h"

namespace {

constexpr std::int32_t kBaud = 115200;
// Six bytes of ten bits at 115200 baud.
constexpr auto kFrameTime = std::chrono::nanoseconds(520833);

DimmerLevels allAt(std::uint8_t level) {
    DimmerLevels levels;
    levels.fill(level);
    return levels;
}

// Every frame the scheduler lets go at `now`, as (channel, level) pairs.
std::vector<std::pair<int, int>> drain(FrameScheduler& scheduler, BridgeClock::time_point& now) {
    std::vector<std::pair<int, int>> frames;
    for (int guard = 0; guard < 100; ++guard) {
        if (const auto frame = scheduler.next(now)) {
            EXPECT_EQ((*frame)[2], 1) << "mode L";
            frames.emplace_back((*frame)[1], (*frame)[3]);
        } else if (const auto wake = scheduler.wakeAt()) {
            now = *wake;
        } else {
            break;
        }
    }
    return frames;
}

TEST(FrameScheduler, SendsNothingBeforeTheFirstLevelsAndOnlyChangesAfter) {
    FrameScheduler scheduler(DimmerMode::L, kBaud);
    BridgeClock::time_point now{};
    EXPECT_FALSE(scheduler.next(now));
    EXPECT_FALSE(scheduler.wakeAt());

    DimmerLevels levels = allAt(0);
    levels[4] = 128;
    scheduler.want(levels);
    EXPECT_EQ(drain(scheduler, now).size(), 24u) << "the dimmer's levels are not known at first";
    levels[4] = 129;
    levels[20] = 7;
    scheduler.want(levels);
    EXPECT_EQ(drain(scheduler, now), (std::vector<std::pair<int, int>>{{5, 129}, {21, 7}}));
    scheduler.want(levels);
    EXPECT_TRUE(drain(scheduler, now).empty());
    EXPECT_EQ(scheduler.framesSent(), 26u);
    EXPECT_EQ(scheduler.levelsDropped(), 0u);
}

TEST(FrameScheduler, OneLevelEverywhereIsOneChannelZeroFrame) {
    FrameScheduler scheduler(DimmerMode::L, kBaud);
    BridgeClock::time_point now{};
    scheduler.want(allAt(200));
    EXPECT_EQ(drain(scheduler, now), (std::vector<std::pair<int, int>>{{0, 200}}));
    DimmerLevels levels = allAt(200);
    levels[0] = 3;
    scheduler.want(levels);
    scheduler.want(allAt(200));  // back before it went: nothing to send, one level dropped
    EXPECT_TRUE(drain(scheduler, now).empty());
    EXPECT_EQ(scheduler.levelsDropped(), 1u);
    scheduler.want(allAt(201));
    EXPECT_EQ(drain(scheduler, now), (std::vector<std::pair<int, int>>{{0, 201}}));
    levels = allAt(201);
    levels[6] = 9;
    scheduler.want(levels);
    scheduler.want(allAt(201));
    levels = allAt(201);
    levels[6] = 10;
    scheduler.want(levels);  // one channel alone goes alone
    EXPECT_EQ(drain(scheduler, now), (std::vector<std::pair<int, int>>{{7, 10}}));
}

TEST(FrameScheduler, TheNewestLevelWinsAndNothingStaleIsSent) {
    FrameScheduler scheduler(DimmerMode::L, kBaud);
    BridgeClock::time_point now{};
    scheduler.want(allAt(0));
    drain(scheduler, now);
    // Faster than the line: 24 channels change, then change again before most of them went.
    DimmerLevels first = allAt(0);
    DimmerLevels second = allAt(0);
    for (std::size_t c = 0; c < 24; ++c) {
        first[c] = static_cast<std::uint8_t>(10 + c);
        second[c] = static_cast<std::uint8_t>(100 + c);
    }
    scheduler.want(first);
    std::vector<std::pair<int, int>> frames;
    for (int i = 0; i < 3; ++i) {
        const auto frame = scheduler.next(now);
        ASSERT_TRUE(frame);
        frames.emplace_back((*frame)[1], (*frame)[3]);
        now += kFrameTime;
    }
    scheduler.want(second);
    for (const auto& frame : drain(scheduler, now)) {
        frames.push_back(frame);
    }
    // Channels 1..3 went with the first levels and again with the second; the others only with the
    // second, in turn after channel 3.
    ASSERT_EQ(frames.size(), 27u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(frames[i], std::make_pair(static_cast<int>(i + 1), static_cast<int>(10 + i)));
    }
    for (std::size_t i = 3; i < 27; ++i) {
        const int channel = static_cast<int>((i - 3 + 3) % 24) + 1;
        EXPECT_EQ(frames[i], std::make_pair(channel, 99 + channel)) << i;
    }
    EXPECT_EQ(scheduler.levelsDropped(), 21u) << "the first levels of channels 4..24 never went";
}

TEST(FrameScheduler, KeepsNoMoreThanTwoFramesAheadOfTheLine) {
    FrameScheduler scheduler(DimmerMode::L, kBaud);
    const BridgeClock::time_point start{};
    DimmerLevels levels{};
    for (std::size_t c = 0; c < 24; ++c) {
        levels[c] = static_cast<std::uint8_t>(c + 1);
    }
    scheduler.want(levels);
    EXPECT_TRUE(scheduler.next(start));
    EXPECT_TRUE(scheduler.next(start));
    EXPECT_FALSE(scheduler.next(start)) << "two frames wait for the line already";
    ASSERT_TRUE(scheduler.wakeAt());
    EXPECT_EQ(*scheduler.wakeAt(), start + kFrameTime);
    EXPECT_TRUE(scheduler.next(start + kFrameTime));

    // All 24 frames take the line's time: 24 frame times less the two written ahead.
    BridgeClock::time_point now = start + kFrameTime;
    const std::size_t rest = drain(scheduler, now).size();
    EXPECT_EQ(rest, 21u);
    EXPECT_EQ(now - start, 22 * kFrameTime);
}

TEST(FrameScheduler, RefreshesTheChannelSentLongestAgoAfterEveryChange) {
    FrameScheduler scheduler(DimmerMode::L, kBaud);
    BridgeClock::time_point now{};
    DimmerLevels levels = allAt(5);
    levels[0] = 1;
    scheduler.want(levels);
    drain(scheduler, now);
    scheduler.setRefreshing(true, now);
    const BridgeClock::time_point due = now + FrameScheduler::kRefreshStep;
    EXPECT_EQ(*scheduler.wakeAt(), due);
    levels[3] = 9;  // a change that comes when a refresh is due goes first
    scheduler.want(levels);
    EXPECT_EQ(*scheduler.next(due), buildDimmerFrame(4, 1, 9));
    EXPECT_EQ(*scheduler.next(due), buildDimmerFrame(1, 1, 1)) << "then channel 1, sent longest ago";
    EXPECT_EQ(*scheduler.wakeAt(), due + FrameScheduler::kRefreshStep);
}

}  // namespace
