// Moves 1 GiB through a 64 KiB ring buffer in 4 KiB writes and reads, and the same bytes through a pair
// of plain memcpy calls of the same sizes (into a 4 KiB staging block and out again), and prints the
// throughput of both. Run: build/linux/bench/ring_buffer_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "serial/ring_buffer.h"

namespace {

constexpr std::size_t kTotal = std::size_t(1) << 30;
constexpr unsigned int kChunk = 4096;
constexpr unsigned int kRing = 64 * 1024;
constexpr int kRuns = 5;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double runRing(const std::vector<char>& in, std::vector<char>& out) {
    kelso::RingBuffer<char> ring(kRing);
    const auto start = Clock::now();
    for (std::size_t moved = 0; moved < kTotal; moved += kChunk) {
        ring.write(in.data(), kChunk);
        if (ring.read(out.data(), kChunk) != kChunk) {
            std::fprintf(stderr, "short read\n");
        }
    }
    return seconds(start);
}

double runMemcpy(const std::vector<char>& in, std::vector<char>& out) {
    std::vector<char> staging(kChunk);
    const auto start = Clock::now();
    for (std::size_t moved = 0; moved < kTotal; moved += kChunk) {
        std::memcpy(staging.data(), in.data(), kChunk);
        // Keep the compiler from folding the two copies into one.
        asm volatile("" : : "r"(staging.data()) : "memory");
        std::memcpy(out.data(), staging.data(), kChunk);
        asm volatile("" : : "r"(out.data()) : "memory");
    }
    return seconds(start);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    std::vector<char> in(kChunk), out(kChunk);
    for (unsigned int i = 0; i < kChunk; ++i) {
        in[i] = static_cast<char>(i * 31 + 7);
    }
    std::vector<double> ring, plain;
    for (int run = 0; run < kRuns; ++run) {
        ring.push_back(runRing(in, out));
        plain.push_back(runMemcpy(in, out));
    }
    if (std::memcmp(in.data(), out.data(), kChunk) != 0) {
        std::fprintf(stderr, "data corrupted\n");
        return 1;
    }
    const double gib = double(kTotal) / (1 << 30);
    const double ringRate = gib / median(ring), plainRate = gib / median(plain);
    std::printf("1 GiB through a 64 KiB ring in 4 KiB writes and reads, median of %d runs\n", kRuns);
    std::printf("%-22s %10s %10s\n", "", "seconds", "GiB/s");
    std::printf("%-22s %10.3f %10.2f\n", "RingBuffer<char>", median(ring), ringRate);
    std::printf("%-22s %10.3f %10.2f\n", "memcpy pair", median(plain), plainRate);
    std::printf("ratio (ring / memcpy pair): %.2f\n", ringRate / plainRate);
    return 0;
}
