#pragma once

#include <cstdint>
#include <string>

// A byte stream that numbers itself, to prove that what a port hands out arrived exactly once and in
// order. It is a run of 3-byte records, each carrying the next value of a 21-bit counter: the first byte
// has its top bit set (1, then the counter's top 7 bits), the other two have it clear (7 bits each).
// Wherever the stream is cut, the reader finds the next record by its first byte.
class SequenceWriter {
public:
    // The next count records.
    std::string next(std::size_t count) {
        std::string out;
        out.reserve(count * 3);
        for (std::size_t i = 0; i < count; ++i, value_ = (value_ + 1) & kMask) {
            out.push_back(static_cast<char>(0x80 | ((value_ >> 14) & 0x7F)));
            out.push_back(static_cast<char>((value_ >> 7) & 0x7F));
            out.push_back(static_cast<char>(value_ & 0x7F));
        }
        return out;
    }

    static constexpr std::uint32_t kMask = (1u << 21) - 1;

private:
    std::uint32_t value_ = 0;
};

// Reads such a stream as it is handed out, in pieces of any size, and counts what it finds.
class SequenceChecker {
public:
    void feed(const std::string& bytes) {
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte & 0x80) != 0) {
                if (have_ != 0) {
                    ++broken;  // a record cut short
                }
                partial_ = byte & 0x7F;
                have_ = 1;
            } else if (have_ == 0) {
                ++broken;  // the rest of a record whose start is missing
            } else {
                partial_ = (partial_ << 7) | byte;
                if (++have_ == 3) {
                    take(partial_);
                    have_ = 0;
                }
            }
        }
    }

    // The stream may have a gap here (a close and an open discard what came meanwhile): a record cut
    // short here is counted as broken, never completed with the bytes that come after the gap.
    void cut() {
        if (have_ != 0) {
            ++broken;
            have_ = 0;
        }
    }

    std::uint64_t records = 0;   // whole records read
    std::uint64_t lost = 0;      // records skipped between two that were read
    std::uint64_t repeated = 0;  // records that came again, or out of order
    std::uint64_t broken = 0;    // bytes of records cut short

private:
    void take(std::uint32_t value) {
        if (records++ > 0) {
            const std::uint32_t step = (value - last_) & SequenceWriter::kMask;
            if (step == 0 || step > SequenceWriter::kMask / 2) {
                ++repeated;
            } else {
                lost += step - 1;
            }
        }
        last_ = value;
    }

    std::uint32_t partial_ = 0;
    int have_ = 0;
    std::uint32_t last_ = 0;
};
