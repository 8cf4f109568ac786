#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Streaming ACN (ANSI E1.31) data packets as the bridge reads them, on UDP port 5568: a root layer,
// a framing layer and a DMP layer, each with a length that must match the packet exactly.
constexpr std::uint16_t kSacnUdpPort = 5568;
constexpr std::uint16_t kSacnLowestUniverse = 1;
constexpr std::uint16_t kSacnHighestUniverse = 63999;
constexpr std::uint8_t kSacnHighestPriority = 200;
constexpr std::size_t kSacnHeaderSize = 126;  // up to and including the start code
constexpr std::size_t kSacnLargestPacket = kSacnHeaderSize + 512;

using SacnCid = std::array<std::uint8_t, 16>;

// The content of one data packet. slots points into the packet it was read from.
struct SacnData {
    SacnCid cid{};           // the source's component identifier
    std::string sourceName;  // printable ASCII only: anything else becomes '?'
    std::uint8_t priority = 100;
    std::uint8_t sequence = 0;
    bool preview = false;     // meant for visualisers, not for live output
    bool terminated = false;  // the source stops sending this universe
    std::uint16_t universe = 0;
    std::uint8_t startCode = 0;  // 0: levels; anything else is another kind of data
    const std::uint8_t* slots = nullptr;
    std::size_t slotCount = 0;  // 0..512
};

struct SacnPacket {
    enum class Kind {
        Data,
        Other,  // a well-formed E1.31 packet that is not data (synchronisation, universe discovery)
        Bad,    // not E1.31, or a packet whose fields do not add up; fault says why
    };
    Kind kind = Kind::Bad;
    SacnData data;
    const char* fault = "";
};

// Reads one UDP payload. Never reads outside data..data+size.
SacnPacket parseSacnPacket(const std::uint8_t* data, std::size_t size);

// The multicast group of a universe, 239.255.hi.lo, in host byte order.
std::uint32_t sacnMulticastGroup(std::uint16_t universe);
