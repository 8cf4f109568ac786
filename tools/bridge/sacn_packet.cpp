#include "tools/bridge/sacn_packet.h"

#include <cstring>

#include "tools/bridge/wire_bytes.h"

namespace {

constexpr std::uint8_t kAcnPacketId[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};
constexpr std::uint32_t kRootVectorData = 0x00000004;
constexpr std::uint32_t kRootVectorExtended = 0x00000008;
constexpr std::uint32_t kFramingVectorData = 0x00000002;
constexpr std::uint8_t kDmpVectorSetProperty = 0x02;
constexpr std::uint8_t kDmpAddressAndDataType = 0xA1;
constexpr std::uint8_t kOptionPreview = 0x80;
constexpr std::uint8_t kOptionTerminated = 0x40;

// Offsets of the layers, and of the fields that follow the root layer's vector.
constexpr std::size_t kRootLayer = 16;
constexpr std::size_t kFramingLayer = 38;
constexpr std::size_t kDmpLayer = 115;

SacnPacket bad(const char* fault) {
    SacnPacket packet;
    packet.fault = fault;
    return packet;
}

// A PDU's flags (0x7) and its length, which runs from the PDU's first byte to the packet's end.
bool pduFits(const std::uint8_t* data, std::size_t size, std::size_t at) {
    const std::uint16_t flagsAndLength = readBigEndian16(data + at);
    return (flagsAndLength >> 12) == 0x7 && (flagsAndLength & 0x0FFF) == size - at;
}

std::string printableName(const std::uint8_t* field, std::size_t size) {
    std::string name;
    for (std::size_t i = 0; i < size && field[i] != 0; ++i) {
        name += field[i] >= 0x20 && field[i] < 0x7F ? static_cast<char>(field[i]) : '?';
    }
    return name;
}

}  // namespace

SacnPacket parseSacnPacket(const std::uint8_t* data, std::size_t size) {
    // The root layer's preamble and identifier, and its vector, tell an E1.31 packet from any other.
    if (data == nullptr || size < kFramingLayer || readBigEndian16(data) != 0x0010 ||
        readBigEndian16(data + 2) != 0 || std::memcmp(data + 4, kAcnPacketId, sizeof kAcnPacketId) != 0) {
        return bad("not E1.31");
    }
    if (!pduFits(data, size, kRootLayer)) {
        return bad("root layer length does not match the packet");
    }
    const std::uint32_t rootVector = readBigEndian32(data + 18);
    if (rootVector == kRootVectorExtended) {
        SacnPacket other;
        other.kind = SacnPacket::Kind::Other;
        return other;
    }
    if (rootVector != kRootVectorData) {
        return bad("unknown root vector");
    }
    if (size < kSacnHeaderSize) {
        return bad("truncated data packet");
    }
    if (size > kSacnLargestPacket) {
        return bad("data packet longer than 512 slots");
    }
    if (!pduFits(data, size, kFramingLayer)) {
        return bad("framing layer length does not match the packet");
    }
    if (readBigEndian32(data + 40) != kFramingVectorData) {
        return bad("unknown framing vector");
    }
    if (!pduFits(data, size, kDmpLayer)) {
        return bad("DMP layer length does not match the packet");
    }
    if (data[117] != kDmpVectorSetProperty || data[118] != kDmpAddressAndDataType ||
        readBigEndian16(data + 119) != 0 || readBigEndian16(data + 121) != 1) {
        return bad("unknown DMP layout");
    }
    if (readBigEndian16(data + 123) != size - kSacnHeaderSize + 1) {
        return bad("property count does not match the packet");
    }

    SacnPacket packet;
    SacnData& d = packet.data;
    std::memcpy(d.cid.data(), data + 22, d.cid.size());
    d.sourceName = printableName(data + 44, 64);
    d.priority = data[108];
    d.sequence = data[111];
    d.preview = (data[112] & kOptionPreview) != 0;
    d.terminated = (data[112] & kOptionTerminated) != 0;
    d.universe = readBigEndian16(data + 113);
    d.startCode = data[125];
    d.slots = data + kSacnHeaderSize;
    d.slotCount = size - kSacnHeaderSize;
    if (d.priority > kSacnHighestPriority) {
        return bad("priority above 200");
    }
    if (d.universe < kSacnLowestUniverse || d.universe > kSacnHighestUniverse) {
        return bad("universe outside 1..63999");
    }
    packet.kind = SacnPacket::Kind::Data;
    return packet;
}

std::uint32_t sacnMulticastGroup(std::uint16_t universe) {
    return (239u << 24) | (255u << 16) | universe;
}
