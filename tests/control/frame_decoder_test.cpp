#include "control/frame_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Collected {
    std::vector<DimmerFrame> frames;
    FrameDecoder decoder{[this](const DimmerFrame& f) { frames.push_back(f); }};

    void feed(const Bytes& bytes) { decoder.feed(bytes.data(), bytes.size()); }
};

void append(Bytes& out, const DimmerFrame& f) {
    out.insert(out.end(), f.begin(), f.end());
}

TEST(FrameDecoder, DecodesFramesInAnyChunking) {
    std::mt19937 rng(1234);
    std::vector<DimmerFrame> sent;
    Bytes stream;
    for (int i = 0; i < 500; ++i) {
        sent.push_back(buildDimmerFrame(rng() % 25, rng() % 2, rng() % 256));
        append(stream, sent.back());
    }
    for (int round = 0; round < 20; ++round) {
        Collected c;
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 17, stream.size() - at);
            c.decoder.feed(stream.data() + at, n);
            at += n;
        }
        ASSERT_EQ(c.frames, sent);
        EXPECT_EQ(c.decoder.rejectedBytes(), 0u);
        EXPECT_EQ(c.decoder.pendingBytes(), 0u);
    }
}

TEST(FrameDecoder, ResynchronisesAfterGarbageBeforeBetweenAndInsideFrames) {
    const DimmerFrame a = buildDimmerFrame(5, 0, 128);
    const DimmerFrame b = buildDimmerFrame(24, 1, 7);
    Bytes stream = {0x00, 0x13, 0xAA, 0xAA};  // junk, including false headers
    append(stream, a);
    stream.insert(stream.end(), {0xFF, 0xAA, 0x01});
    // b cut short by garbage, then b whole
    stream.insert(stream.end(), b.begin(), b.begin() + 3);
    append(stream, b);
    Collected c;
    c.feed(stream);
    EXPECT_EQ(c.frames, (std::vector<DimmerFrame>{a, b}));
    EXPECT_EQ(c.decoder.rejectedBytes(), stream.size() - 12);
}

TEST(FrameDecoder, RejectsBadChecksumsAndOutOfRangeFieldsButFindsTheFrameAfter) {
    const DimmerFrame good = buildDimmerFrame(1, 1, 1);
    DimmerFrame badSum = buildDimmerFrame(3, 0, 50);
    badSum[5] ^= 0x01;
    const DimmerFrame badChannel = buildDimmerFrame(25, 0, 0);
    const DimmerFrame badMode = buildDimmerFrame(1, 2, 0);
    DimmerFrame badReserved = buildDimmerFrame(1, 0, 0);
    badReserved[4] = 1;
    badReserved[5] = dimmerFrameChecksum(badReserved.data());
    for (const DimmerFrame& bad : {badSum, badChannel, badMode, badReserved}) {
        Bytes stream;
        append(stream, bad);
        append(stream, good);
        Collected c;
        c.feed(stream);
        EXPECT_EQ(c.frames, std::vector<DimmerFrame>{good});
        EXPECT_EQ(c.decoder.rejectedBytes(), 6u);
    }
}

TEST(FrameDecoder, FindsAFrameWhoseHeaderHidesInsideARejectedOne) {
    // AA 00 AA 0C 01 64 | 00 C3: the first candidate fails, the real frame starts at its third byte.
    const Bytes stream = {0xAA, 0x00, 0xAA, 0x0C, 0x01, 0x64, 0x00, 0xC3};
    Collected c;
    for (std::uint8_t byte : stream) {
        c.decoder.feed(&byte, 1);
    }
    EXPECT_EQ(c.frames, std::vector<DimmerFrame>{buildDimmerFrame(12, 1, 100)});
    EXPECT_EQ(c.decoder.rejectedBytes(), 2u);
}

TEST(FrameDecoder, RandomGarbageBetweenFramesNeverHidesAFrame) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 200; ++trial) {
        Bytes stream;
        std::vector<DimmerFrame> sent;
        for (int i = 0; i < 20; ++i) {
            // Garbage that cannot end in a prefix of a header-led frame: no 0xAA.
            const int junk = rng() % 8;
            for (int j = 0; j < junk; ++j) {
                std::uint8_t g = rng() % 256;
                stream.push_back(g == 0xAA ? 0x55 : g);
            }
            sent.push_back(buildDimmerFrame(rng() % 25, rng() % 2, rng() % 256));
            append(stream, sent.back());
        }
        Collected c;
        c.feed(stream);
        ASSERT_EQ(c.frames, sent) << "trial " << trial;
    }
}

TEST(FrameDecoder, KeepsAnIncompleteFrameForTheNextChunk) {
    const DimmerFrame f = buildDimmerFrame(2, 0, 9);
    Collected c;
    c.decoder.feed(f.data(), 4);
    EXPECT_TRUE(c.frames.empty());
    EXPECT_EQ(c.decoder.pendingBytes(), 4u);
    c.decoder.feed(f.data() + 4, 2);
    EXPECT_EQ(c.frames.size(), 1u);
    c.decoder.feed(nullptr, 0);
    EXPECT_EQ(c.decoder.acceptedFrames(), 1u);
}

}  // namespace
