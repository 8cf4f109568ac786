#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Art-Net and E1.31 packets laid out byte by byte as the protocols' documents give them, written here
// apart from the bridge's own code: the tests, the Wine test and the benchmark send them.
namespace dmx_packets {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& p, std::size_t at, unsigned value) {
    p[at] = static_cast<std::uint8_t>(value >> 8);
    p[at + 1] = static_cast<std::uint8_t>(value);
}

struct Sacn {
    std::uint8_t cidByte = 1;  // the CID is sixteen times this byte
    std::string name = "test console";
    unsigned priority = 100;
    unsigned sequence = 0;
    unsigned options = 0;  // 0x80 preview, 0x40 stream terminated
    unsigned universe = 1;
    unsigned startCode = 0;
    Bytes slots = Bytes(512, 0);
};

inline Bytes sacn(const Sacn& s) {
    Bytes p(126 + s.slots.size(), 0);
    const std::size_t size = p.size();
    put16(p, 0, 0x0010);  // preamble; postamble 0
    std::memcpy(&p[4], "ASC-E1.17\0\0\0", 12);
    put16(p, 16, 0x7000 | (size - 16));
    p[21] = 0x04;  // root vector: E1.31 data
    std::memset(&p[22], s.cidByte, 16);
    put16(p, 38, 0x7000 | (size - 38));
    p[43] = 0x02;  // framing vector: data packet
    std::memcpy(&p[44], s.name.data(), std::min<std::size_t>(s.name.size(), 63));
    p[108] = static_cast<std::uint8_t>(s.priority);
    p[111] = static_cast<std::uint8_t>(s.sequence);
    p[112] = static_cast<std::uint8_t>(s.options);
    put16(p, 113, s.universe);
    put16(p, 115, 0x7000 | (size - 115));
    p[117] = 0x02;     // set property
    p[118] = 0xA1;     // address and data type
    put16(p, 121, 1);  // address increment
    put16(p, 123, s.slots.size() + 1);
    p[125] = static_cast<std::uint8_t>(s.startCode);
    std::copy(s.slots.begin(), s.slots.end(), p.begin() + 126);
    return p;
}

inline Bytes artNetHeader(unsigned opCode, std::size_t size) {
    Bytes p(size, 0);
    std::memcpy(p.data(), "Art-Net\0", 8);
    p[8] = static_cast<std::uint8_t>(opCode);
    p[9] = static_cast<std::uint8_t>(opCode >> 8);
    put16(p, 10, 14);
    return p;
}

inline Bytes artDmx(unsigned portAddress, const Bytes& slots, unsigned sequence = 0) {
    Bytes p = artNetHeader(0x5000, 18 + slots.size());
    p[12] = static_cast<std::uint8_t>(sequence);
    p[14] = static_cast<std::uint8_t>(portAddress);
    p[15] = static_cast<std::uint8_t>(portAddress >> 8);
    put16(p, 16, slots.size());
    std::copy(slots.begin(), slots.end(), p.begin() + 18);
    return p;
}

// Targeted when bottom..top is given: only nodes with a port-address in that range answer.
inline Bytes artPoll(bool targeted = false, unsigned bottom = 0, unsigned top = 0x7FFF) {
    Bytes p = artNetHeader(0x2000, 22);
    p[12] = targeted ? 0x20 : 0x00;
    put16(p, 14, top);
    put16(p, 16, bottom);
    return p;
}

// Slots with the given levels from slot `first` (1-based) on, 0 elsewhere.
inline Bytes slotsAt(unsigned first, const Bytes& levels, std::size_t count = 512) {
    Bytes slots(count, 0);
    std::copy(levels.begin(), levels.end(), slots.begin() + (first - 1));
    return slots;
}

// Packets that are not what they claim, each with what is wrong with it: every one must be counted
// as bad and change nothing. first: true for an sACN packet (UDP 5568), false for Art-Net (6454).
struct BadPacket {
    const char* what;
    bool sacn;
    Bytes bytes;
};

inline std::vector<BadPacket> badPackets() {
    const Bytes good = sacn({});
    auto edited = [&good](std::size_t at, std::uint8_t value) {
        Bytes p = good;
        p[at] = value;
        return p;
    };
    auto cut = [](Bytes p, std::size_t size) {
        p.resize(size);
        return p;
    };
    Bytes goodDmx = artDmx(0, Bytes(24, 9));
    Bytes lyingDmx = goodDmx;
    put16(lyingDmx, 16, 100);  // 100 slots said, 24 there
    Bytes longDmx = artDmx(0, Bytes(514, 9));
    Bytes emptyDmx = goodDmx;
    emptyDmx.resize(18);
    put16(emptyDmx, 16, 0);
    Bytes oldDmx = goodDmx;
    put16(oldDmx, 10, 13);
    Bytes highNetDmx = goodDmx;
    highNetDmx[15] = 0x80;
    Bytes lyingRoot = good;
    put16(lyingRoot, 16, 0x7000 | 100);
    Bytes lyingFraming = good;
    put16(lyingFraming, 38, 0x7000 | 200);
    Bytes lyingDmp = good;
    put16(lyingDmp, 115, 0x7000 | 12);
    Bytes lyingCount = good;
    put16(lyingCount, 123, 100);
    Bytes noFlags = good;
    noFlags[16] &= 0x0F;
    Bytes tooMany = sacn({});
    tooMany.resize(good.size() + 2, 0);  // 514 slots, every length made to agree
    put16(tooMany, 16, 0x7000 | (tooMany.size() - 16));
    put16(tooMany, 38, 0x7000 | (tooMany.size() - 38));
    put16(tooMany, 115, 0x7000 | (tooMany.size() - 115));
    put16(tooMany, 123, 515);
    return {
        {"empty datagram", true, {}},
        {"garbage", true, Bytes(200, 0xAA)},
        {"huge", true, Bytes(9000, 0)},
        {"sACN cut in the root layer", true, cut(good, 30)},
        {"sACN cut in the framing layer", true, cut(good, 100)},
        {"sACN cut after the header", true, cut(good, 125)},
        {"wrong ACN identifier", true, edited(4, 'X')},
        {"wrong preamble", true, edited(1, 0x11)},
        {"root length lies", true, lyingRoot},
        {"root flags missing", true, noFlags},
        {"unknown root vector", true, edited(21, 0x05)},
        {"framing length lies", true, lyingFraming},
        {"unknown framing vector", true, edited(43, 0x01)},
        {"DMP length lies", true, lyingDmp},
        {"property count lies", true, lyingCount},
        {"wrong DMP vector", true, edited(117, 0x01)},
        {"wrong address type", true, edited(118, 0xA2)},
        {"more than 512 slots", true, tooMany},
        {"priority 201", true, edited(108, 201)},
        {"universe 0", true, edited(114, 0)},
        {"Art-Net packet on the sACN port", true, goodDmx},
        {"empty datagram", false, {}},
        {"wrong Art-Net identifier", false,
         [&goodDmx] {
             Bytes p = goodDmx;
             p[0] = 'a';
             return p;
         }()},
        {"Art-Net cut in the op-code", false, cut(goodDmx, 9)},
        {"ArtDmx cut in its header", false, cut(goodDmx, 17)},
        {"ArtDmx length lies", false, lyingDmx},
        {"ArtDmx of 514 slots", false, longDmx},
        {"ArtDmx without slots", false, emptyDmx},
        {"protocol version 13", false, oldDmx},
        {"net above 127", false, highNetDmx},
        {"ArtPoll cut short", false, cut(artPoll(), 13)},
        {"sACN packet on the Art-Net port", false, good},
    };
}

}  // namespace dmx_packets
