// The status as a user sees it: redrawn in place on a terminal, a line at a time into a log, and
// never more often than a person can read.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/bridge/bridge_status.h"

namespace {

// What the display wrote into a temporary file.
std::string written(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    return text;
}

BridgeCounters sample() {
    BridgeCounters c;
    c.packets = 12;
    c.bad = 1;
    c.framesSent = 30;
    c.sources = 1;
    c.controllingSource = "desk (sACN, priority 100)";
    for (std::size_t i = 0; i < c.levels.size(); ++i) {
        c.levels[i] = static_cast<std::uint8_t>(i * 10);
    }
    return c;
}

TEST(BridgeStatus, ALogGetsOneLineASecondAtMost) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    StatusDisplay display(StatusDisplay::Style::Log, file);
    const BridgeClock::time_point start{};
    BridgeCounters c = sample();
    EXPECT_FALSE(display.update(c, start));
    ++c.packets;
    const auto again = display.update(c, start + std::chrono::milliseconds(300));
    ASSERT_TRUE(again) << "a change within the second waits";
    EXPECT_EQ(*again, start + std::chrono::seconds(1));
    EXPECT_FALSE(display.update(c, *again));
    EXPECT_FALSE(display.update(c, *again + std::chrono::seconds(5))) << "nothing new, nothing shown";
    const std::string text = written(file);
    EXPECT_EQ(
        text,
        "packets 12 bad 1 ignored 0 other universes 0 out of order 0 frames 30 dropped 0 sources 1, in "
        "control: desk (sACN, priority 100) levels 0 10 20 30 40 50 60 70 80 90 100 110 120 130 140 150 160 "
        "170 180 190 200 210 220 230\n"
        "packets 13 bad 1 ignored 0 other universes 0 out of order 0 frames 30 dropped 0 sources 1, in "
        "control: desk (sACN, priority 100) levels 0 10 20 30 40 50 60 70 80 90 100 110 120 130 140 150 160 "
        "170 180 190 200 210 220 230\n");
    std::fclose(file);
}

TEST(BridgeStatus, ATerminalIsRedrawnInPlace) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    StatusDisplay display(StatusDisplay::Style::Live, file);
    BridgeCounters c = sample();
    display.update(c, BridgeClock::time_point{});
    c.levels[23] = 255;
    display.finish(c);
    const std::string text = written(file);
    const std::string second = text.substr(text.find("\x1b[4A"));
    EXPECT_EQ(second.substr(0, 4), "\x1b[4A") << "back up over the four lines";
    EXPECT_NE(second.find("\x1b[2KCH13-24 120 130 140 150 160 170 180 190 200 210 220 255\n"),
              std::string::npos)
        << second;
    EXPECT_NE(second.find("\x1b[2Ksources 1, in control: desk (sACN, priority 100)\n"), std::string::npos);
    std::fclose(file);
}

}  // namespace
