// Feeds the input to the frame decoder in chunks and compares what it finds with the plain reading of
// the stream: at each position, a valid frame is taken whole, anything else is rejected one byte at a
// time, and a frame cut off by the end of the stream stays pending.
//   byte 0: seed of the chunk sizes; the rest: the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "control/frame_decoder.h"
#include "fuzz/fuzz_check.h"

namespace {

struct Reading {
    std::vector<DimmerFrame> frames;
    std::size_t rejected = 0;
    std::size_t pending = 0;
};

Reading readPlainly(const std::uint8_t* data, std::size_t size) {
    Reading r;
    std::size_t i = 0;
    while (i < size) {
        if (data[i] != kDimmerFrameHeader) {
            ++r.rejected;
            ++i;
            continue;
        }
        if (size - i < kDimmerFrameSize) {
            r.pending = size - i;
            break;
        }
        DimmerFrame f;
        for (std::size_t k = 0; k < kDimmerFrameSize; ++k) {
            f[k] = data[i + k];
        }
        if (FrameDecoder::isValidFrame(f)) {
            r.frames.push_back(f);
            i += kDimmerFrameSize;
        } else {
            ++r.rejected;
            ++i;
        }
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    unsigned int seed = data[0];
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;

    std::vector<DimmerFrame> frames;
    FrameDecoder decoder([&](const DimmerFrame& f) { frames.push_back(f); });
    for (std::size_t at = 0; at < length;) {
        seed = seed * 1103515245u + 12345u;
        std::size_t n = 1 + (seed >> 16) % 9;
        if (n > length - at) {
            n = length - at;
        }
        // Hand the decoder an exact-size copy, so reading past a chunk is caught by the sanitizer.
        std::vector<std::uint8_t> chunk(stream + at, stream + at + n);
        decoder.feed(chunk.data(), chunk.size());
        at += n;
    }
    const Reading expected = readPlainly(stream, length);
    check(frames == expected.frames);
    check(decoder.acceptedFrames() == expected.frames.size());
    check(decoder.rejectedBytes() == expected.rejected);
    check(decoder.pendingBytes() == expected.pending);
    return 0;
}
