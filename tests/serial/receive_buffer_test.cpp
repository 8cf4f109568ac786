#include "serial/receive_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sequence_stream.h"

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
// owning thread use it. The stream numbers itself, so a byte handed out twice (in one take or across
// two), out of order, or torn out of a copy shows.
TEST(ReceiveBuffer, AStoreRacingATakeHandsOutEveryByteAtMostOnceInOrder) {
    ReceiveBuffer buffer(64);
    std::atomic<bool> done{false};
    constexpr std::size_t kRecords = 300000;
    std::thread writer([&] {
        SequenceWriter stream;
        for (std::size_t made = 0; made < kRecords; made += 17) {
            const std::string chunk = stream.next(17);
            buffer.store(chunk.data(), static_cast<unsigned int>(chunk.size()));
        }
        done = true;
    });
    SequenceChecker checker;
    char out[96];
    for (bool finished = false; !finished;) {
        finished = done;
        const unsigned int got = buffer.take(out, sizeof out);
        ASSERT_LE(got, 64u);
        SequenceChecker take;  // one take is one run of the stream: nothing skipped inside it
        take.feed(std::string(out, got));
        ASSERT_EQ(take.lost + take.repeated, 0u);
        checker.feed(std::string(out, got));
        checker.cut();  // between two takes the writer may have overwritten what came
        finished = finished && got == 0;
    }
    writer.join();
    EXPECT_GT(checker.records, 0u);
    EXPECT_EQ(checker.repeated, 0u);
}

}  // namespace
