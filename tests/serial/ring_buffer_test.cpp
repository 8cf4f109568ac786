#include "serial/ring_buffer.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

using kelso::RingBuffer;

std::string drain(RingBuffer<char>& ring, unsigned int count = 1000) {
    std::string out(count, '\0');
    out.resize(ring.read(out.data(), count));
    return out;
}

TEST(RingBuffer, CapacityIsThePowerOfTwoAtOrAboveTheSize) {
    const std::pair<unsigned int, unsigned int> table[] = {
        {0, 4096},
        {1, 1},
        {2, 2},
        {3, 4},
        {4096, 4096},
        {4097, 8192},
        {1000, 1024},
        {1u << 30, 1u << 30},
        {(1u << 30) + 1, 4096},
        {0xFFFFFFFFu, 4096},
        {1u << 31, 1u << 31},
    };
    for (const auto& [size, capacity] : table) {
        EXPECT_EQ(RingBuffer<char>::capacityFor(size), capacity) << "size " << size;
    }
    RingBuffer<char> ring(3);
    EXPECT_EQ(ring.capacity(), 4u);
    EXPECT_TRUE(ring.isEmpty());
    EXPECT_FALSE(ring.isFull());
    EXPECT_EQ(ring.usedSize(), 0u);
    EXPECT_EQ(ring.freeSize(), 4u);
}

TEST(RingBuffer, OverwritesTheOldestWhenFull) {
    RingBuffer<char> ring(4);
    EXPECT_EQ(ring.write("abcdef", 6), 6u);
    EXPECT_TRUE(ring.isFull());
    EXPECT_EQ(ring.usedSize(), 4u);
    EXPECT_EQ(drain(ring, 10), "cdef");
    EXPECT_TRUE(ring.isEmpty());

    ring.write("ab", 2);
    EXPECT_EQ(drain(ring, 1), "a");
    EXPECT_EQ(ring.write("cdef", 4), 4u);  // b gives way
    EXPECT_EQ(drain(ring), "cdef");

    RingBuffer<char> one(1);
    one.write("x", 1);
    one.write("y", 1);
    EXPECT_EQ(drain(one), "y");

    // Counts of 0 change nothing, and leave the reader's memory alone.
    ring.write("abc", 3);
    char out = '?';
    EXPECT_EQ(ring.write("zz", 0), 0u);
    EXPECT_EQ(ring.read(&out, 0), 0u);
    EXPECT_EQ(out, '?');
    EXPECT_EQ(drain(ring), "abc");
    EXPECT_EQ(ring.read(&out, 5), 0u);
}

// Random writes and reads of every size, across many laps of the positions, against a model.
TEST(RingBuffer, BehavesLikeADequeThatDropsItsOldest) {
    std::mt19937 rng(7);
    for (unsigned int capacity : {1u, 2u, 8u, 64u}) {
        RingBuffer<int> ring(capacity);
        std::deque<int> model;
        int value = 0;
        for (int step = 0; step < 20000; ++step) {
            if (rng() % 2 == 0) {
                std::vector<int> in(rng() % (3 * capacity + 2));
                for (int& v : in) {
                    v = value++;
                    model.push_back(v);
                    if (model.size() > capacity) {
                        model.pop_front();
                    }
                }
                ASSERT_EQ(ring.write(in.data(), in.size()), in.size());
            } else {
                std::vector<int> out(rng() % (2 * capacity + 2));
                const unsigned int got = ring.read(out.data(), out.size());
                ASSERT_EQ(got, std::min<std::size_t>(out.size(), model.size()));
                for (unsigned int i = 0; i < got; ++i) {
                    ASSERT_EQ(out[i], model.front());
                    model.pop_front();
                }
            }
            ASSERT_EQ(ring.usedSize(), model.size());
            ASSERT_EQ(ring.freeSize(), capacity - model.size());
            ASSERT_EQ(ring.isFull(), model.size() == capacity);
            ASSERT_EQ(ring.isEmpty(), model.empty());
        }
    }
}

}  // namespace
