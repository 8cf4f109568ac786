#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The one command the panel sends to the dimmer: six bytes, sent in offset order.
//   0 header 0xAA | 1 channel (0 = all, 1..24) | 2 mode | 3 level | 4 reserved 0 | 5 XOR of bytes 0..4
enum class DimmerMode : std::uint8_t { H = 0, L = 1 };

constexpr std::size_t kDimmerFrameSize = 6;
constexpr std::uint8_t kDimmerFrameHeader = 0xAA;
constexpr std::uint8_t kDimmerChannelCount = 24;

using DimmerFrame = std::array<std::uint8_t, kDimmerFrameSize>;

// Writes the values unchanged; keeping channel (0..24) and mode (0, 1) in range is the caller's task.
DimmerFrame buildDimmerFrame(std::uint8_t channel, std::uint8_t mode, std::uint8_t level);

// The XOR of the five bytes before the checksum.
std::uint8_t dimmerFrameChecksum(const std::uint8_t* firstFiveBytes);
