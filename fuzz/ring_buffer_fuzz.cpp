// Drives a ring buffer with the operations the input spells out and checks it against a deque that
// drops its oldest element when full.
//   byte 0: capacity 2^(b % 9)
//   then pairs (op, n): even op writes n fresh bytes, odd op reads up to n bytes.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "serial/ring_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const unsigned int capacity = 1u << (data[0] % 9);
    kelso::RingBuffer<char> ring(capacity);
    std::deque<char> model;
    char next = 0;
    std::vector<char> scratch;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        const unsigned int n = data[i + 1];
        if (data[i] % 2 == 0) {
            scratch.resize(n);
            for (char& c : scratch) {
                c = next++;
                model.push_back(c);
                if (model.size() > capacity) {
                    model.pop_front();
                }
            }
            check(ring.write(scratch.data(), n) == n);
        } else {
            scratch.assign(n, 0);
            const unsigned int got = ring.read(scratch.data(), n);
            check(got == (n < model.size() ? n : model.size()));
            for (unsigned int k = 0; k < got; ++k) {
                check(scratch[k] == model.front());
                model.pop_front();
            }
        }
        check(ring.usedSize() == model.size());
        check(ring.freeSize() == capacity - model.size());
        check(ring.isFull() == (model.size() == capacity));
        check(ring.isEmpty() == model.empty());
    }
    return 0;
}
