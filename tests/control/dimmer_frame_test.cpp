#include "control/dimmer_frame.h"

#include <gtest/gtest.h>

namespace {

struct FrameCase {
    std::uint8_t channel, mode, level;
    DimmerFrame expected;
};

TEST(DimmerFrame, MatchesTheReferenceFrames) {
    const FrameCase cases[] = {
        {0, 0, 0, {0xAA, 0x00, 0x00, 0x00, 0x00, 0xAA}},   {5, 0, 128, {0xAA, 0x05, 0x00, 0x80, 0x00, 0x2F}},
        {0, 1, 255, {0xAA, 0x00, 0x01, 0xFF, 0x00, 0x54}}, {12, 1, 100, {0xAA, 0x0C, 0x01, 0x64, 0x00, 0xC3}},
        {24, 0, 0, {0xAA, 0x18, 0x00, 0x00, 0x00, 0xB2}},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(buildDimmerFrame(c.channel, c.mode, c.level), c.expected)
            << "channel " << int(c.channel) << " mode " << int(c.mode) << " level " << int(c.level);
    }
}

TEST(DimmerFrame, EveryFrameCarriesItsValuesAndAnXorChecksum) {
    for (int channel = 0; channel <= 24; ++channel) {
        for (int mode = 0; mode <= 1; ++mode) {
            for (int level = 0; level <= 255; ++level) {
                const DimmerFrame f = buildDimmerFrame(channel, mode, level);
                ASSERT_EQ(f[0], 0xAA);
                ASSERT_EQ(f[1], channel);
                ASSERT_EQ(f[2], mode);
                ASSERT_EQ(f[3], level);
                ASSERT_EQ(f[4], 0);
                // XOR over all six bytes of a correct frame is zero.
                ASSERT_EQ(f[0] ^ f[1] ^ f[2] ^ f[3] ^ f[4] ^ f[5], 0);
            }
        }
    }
}

}  // namespace
