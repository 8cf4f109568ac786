#include "serial/receive_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ReceiveBuffer, ReportsItsFillAndGivesBytesBackInOrder) {
    ReceiveBuffer buffer(8);
    EXPECT_TRUE(buffer.exists());
    EXPECT_EQ(buffer.store("hello", 5), 5u);
    EXPECT_EQ(buffer.store("world", 5), 8u);  // full: the oldest two gave way
    char out[16] = {};
    EXPECT_EQ(buffer.take(out, sizeof out), 8u);
    EXPECT_EQ(std::string(out, 8), "lloworld");
    buffer.reset(1000);
    EXPECT_EQ(buffer.capacity(), 1024u);
    EXPECT_EQ(buffer.usedSize(), 0u);
}

// One writer overflowing the buffer while a reader drains it, as the receive thread and a reader on the
// owning thread use it. The stream is a running byte counter; the buffer always holds a contiguous run
// of its newest bytes, so every take must be such a run too: a torn copy or a position moved under the
// reader's feet breaks the run.
TEST(ReceiveBuffer, AStoreRacingATakeHandsOutOnlyContiguousRuns) {
    ReceiveBuffer buffer(64);
    std::atomic<bool> done{false};
    constexpr int kChunks = 200000;
    std::thread writer([&] {
        unsigned char next = 0;
        char chunk[50];
        for (int i = 0; i < kChunks; ++i) {
            for (char& c : chunk) {
                c = static_cast<char>(next++);
            }
            buffer.store(chunk, sizeof chunk);
        }
        done = true;
    });
    char out[96];
    unsigned char last = 0;
    unsigned int lastTake = 0;
    for (;;) {
        const bool finished = done;
        const unsigned int got = buffer.take(out, sizeof out);
        ASSERT_LE(got, 64u);
        for (unsigned int i = 1; i < got; ++i) {
            ASSERT_EQ(static_cast<unsigned char>(out[i]), static_cast<unsigned char>(out[i - 1] + 1));
        }
        if (got > 0) {
            last = static_cast<unsigned char>(out[got - 1]);
            lastTake = got;
        }
        if (finished && got == 0) {
            break;
        }
    }
    writer.join();
    EXPECT_GT(lastTake, 0u);
    // The last byte handed out is the newest byte written.
    EXPECT_EQ(last, static_cast<unsigned char>(kChunks * 50 - 1));
}

}  // namespace
