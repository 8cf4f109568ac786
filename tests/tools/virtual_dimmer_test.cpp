#include "tools/virtual_dimmer/virtual_dimmer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "control/dimmer_frame.h"
#include "tests/tools/pty_writer.h"
#include "tests/tools/temp_dir.h"
#include "tools/virtual_dimmer/channel_report.h"
#include "tools/virtual_dimmer/terminal_report.h"

namespace {

std::vector<std::uint8_t> bytesOf(const DimmerFrame& frame) {
    return {frame.begin(), frame.end()};
}

class VirtualDimmerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        dimmer = VirtualDimmer::start(dir.path() + "/ports", "dimmer0", error);
        ASSERT_NE(dimmer, nullptr) << error;
    }

    TempDir dir;
    std::unique_ptr<VirtualDimmer> dimmer;
};

TEST_F(VirtualDimmerTest, PublishesALinkToItsPseudoTerminal) {
    char target[256] = {};
    ASSERT_GT(readlink(dimmer->port().linkPath().c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(dimmer->ptyPath(), target);
    EXPECT_EQ(dimmer->port().linkPath(), dir.path() + "/ports/dimmer0");
    EXPECT_FALSE(dimmer->port().replacedStaleLink());
    struct stat info {};
    ASSERT_EQ(stat((dir.path() + "/ports").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(VirtualDimmerTest, FramesWrittenToThePublishedPortSetTheChannelTable) {
    std::vector<DimmerFrame> seen;
    dimmer->onFrame([&seen](const DimmerFrame& frame) { seen.push_back(frame); });

    ASSERT_TRUE(writeToPort(dimmer->port().linkPath(), bytesOf(buildDimmerFrame(0, 1, 40))));
    ASSERT_TRUE(pumpUntilFrames(*dimmer, 1));
    for (int number = 1; number <= 24; ++number) {
        EXPECT_EQ(dimmer->channels().channel(number).level, 40) << number;
        EXPECT_EQ(dimmer->channels().channel(number).mode, DimmerMode::L) << number;
    }

    ASSERT_TRUE(writeToPort(dimmer->port().linkPath(), bytesOf(buildDimmerFrame(24, 0, 255))));
    ASSERT_TRUE(pumpUntilFrames(*dimmer, 2));
    EXPECT_EQ(dimmer->channels().channel(24).level, 255);
    EXPECT_EQ(dimmer->channels().channel(24).mode, DimmerMode::H);
    EXPECT_EQ(dimmer->channels().channel(23).level, 40);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(frameInHex(dimmer->lastFrame()), "AA 18 00 FF 00 4D");
}

// Bytes that arrive split across writes, with line noise before and a corrupt frame between two good
// ones: every good frame counts, every bad byte is counted as rejected.
TEST_F(VirtualDimmerTest, DecodesAcrossWritesAndCountsRejectedBytes) {
    const DimmerFrame first = buildDimmerFrame(3, 0, 77);
    DimmerFrame corrupt = buildDimmerFrame(4, 0, 1);
    corrupt[5] ^= 0xFF;
    const DimmerFrame second = buildDimmerFrame(5, 1, 200);

    std::vector<std::uint8_t> stream = {0x00, 0x13, 0xFF};
    stream.insert(stream.end(), first.begin(), first.end());
    stream.insert(stream.end(), corrupt.begin(), corrupt.end());
    stream.insert(stream.end(), second.begin(), second.end());
    const std::string link = dimmer->port().linkPath();
    ASSERT_TRUE(writeToPort(link, {stream.begin(), stream.begin() + 5}));
    ASSERT_TRUE(writeToPort(link, {stream.begin() + 5, stream.end()}));

    ASSERT_TRUE(pumpUntilFrames(*dimmer, 2));
    EXPECT_EQ(dimmer->channels().channel(3).level, 77);
    EXPECT_EQ(dimmer->channels().channel(4).level, 0);
    EXPECT_EQ(dimmer->channels().channel(5).level, 200);
    EXPECT_EQ(dimmer->channels().channel(5).mode, DimmerMode::L);
    EXPECT_EQ(dimmer->rejectedBytes(), 3u + 6u);
}

TEST_F(VirtualDimmerTest, ThePortStaysUsableAfterAWriterClosesIt) {
    for (std::uint8_t level = 1; level <= 3; ++level) {
        ASSERT_TRUE(writeToPort(dimmer->port().linkPath(), bytesOf(buildDimmerFrame(1, 0, level))));
        ASSERT_TRUE(pumpUntilFrames(*dimmer, level));
        EXPECT_EQ(dimmer->channels().channel(1).level, level);
    }
}

// A writer that never pauses must not hold the owner's loop: one pass takes a bounded amount.
TEST_F(VirtualDimmerTest, AReadPassTakesABoundedAmountUnderAFlood) {
    std::uint64_t before = 0;
    {
        FrameFlood flood(dimmer->port().linkPath(), std::chrono::seconds(5));
        ASSERT_TRUE(flood.started());
        ASSERT_TRUE(pumpUntilFrames(*dimmer, 1));
        before = dimmer->acceptedFrames();
        EXPECT_TRUE(dimmer->readAvailable());
    }
    const std::uint64_t taken = (dimmer->acceptedFrames() - before) * kDimmerFrameSize;
    EXPECT_LE(taken, VirtualDimmer::kReadPassBytes + kDimmerFrameSize);
}

// A port named like an entry of /dev would stand for that device (lumenta-send --port ptmx).
TEST(VirtualDimmerNames, NamesOfDevicesAreRefused) {
    TempDir dir;
    for (const char* name : {"ptmx", "null", "tty", "console", "pts"}) {
        std::string error;
        EXPECT_EQ(VirtualDimmer::start(dir.path(), name, error), nullptr) << name;
        EXPECT_NE(error.find(std::string("/dev/") + name), std::string::npos) << error;
        EXPECT_NE(error.find("--name"), std::string::npos) << error;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(VirtualDimmerTest, EndingRemovesTheLink) {
    const std::string link = dimmer->port().linkPath();
    dimmer.reset();
    struct stat info {};
    EXPECT_NE(lstat(link.c_str(), &info), 0);
}

// The terminal's report at any rate of frames: every frame line up to the limit of a second, then a
// count; the table after a change, at most once an interval; for a lone frame, both at once.
TEST(TerminalReport, StaysBoundedWhateverTheRateOfFrames) {
    std::string out;
    TerminalReport report([&out](const std::string& text) { out += text; });
    ChannelTable table;
    const auto lines = [&out](const std::string& start) {
        std::size_t count = 0;
        for (std::size_t at = 0; (at = out.find(start, at)) != std::string::npos; ++at) {
            count += at == 0 || out[at - 1] == '\n';
        }
        return count;
    };
    auto now = TerminalReport::Clock::time_point{} + std::chrono::hours(1);
    const DimmerFrame lone = buildDimmerFrame(7, 1, 9);
    table.apply(lone);
    report.frame(lone, now);
    report.tick(table, now);
    EXPECT_EQ(out, describeFrame(lone) + "\n" + channelTableText(table));
    EXPECT_EQ(report.msUntilDue(now), -1);

    // Ten thousand frames in the next second, in passes of a hundred every 10 ms.
    out.clear();
    now += std::chrono::seconds(5);
    for (int pass = 0; pass < 100; ++pass, now += std::chrono::milliseconds(10)) {
        for (int i = 0; i < 100; ++i) {
            report.frame(buildDimmerFrame(1, 0, static_cast<std::uint8_t>(i)), now);
        }
        report.tick(table, now);
    }
    EXPECT_EQ(lines("frame AA "), TerminalReport::kFrameLinesPerSecond);
    EXPECT_EQ(lines("CH1 "), 4u);  // the table, at 0, 250, 500 and 750 ms
    EXPECT_EQ(report.msUntilDue(now - std::chrono::milliseconds(10)), 10);
    report.tick(table, now);
    EXPECT_EQ(lines("... and 8000 more frames in that second, not shown"), 1u);
}

TEST(ChannelReport, TableListsEveryChannelInRowsOfSix) {
    ChannelTable table;
    table.apply(buildDimmerFrame(7, 1, 9));
    const std::string text = channelTableText(table);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    EXPECT_NE(text.find("CH7  L   9"), std::string::npos);
    EXPECT_NE(text.find("CH24 H   0"), std::string::npos);
    EXPECT_EQ(describeFrame(buildDimmerFrame(0, 0, 255)),
              "frame AA 00 00 FF 00 55  ALL CH  mode H  level 255");
}

}  // namespace
