#include "tools/bridge/artnet_packet.h"

#include <algorithm>
#include <cstring>

#include "tools/bridge/wire_bytes.h"

namespace {

constexpr std::uint8_t kArtNetId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr std::size_t kPollMinimumSize = 14;
constexpr std::size_t kPollTargetedSize = 18;
constexpr std::uint8_t kPollFlagTargeted = 0x20;
constexpr std::size_t kMaxSlots = 512;

ArtNetPacket bad(const char* fault) {
    ArtNetPacket packet;
    packet.fault = fault;
    return packet;
}

// Copies at most field - 1 characters and leaves the rest zero, so the field always ends in one.
void putText(std::uint8_t* field, std::size_t fieldSize, const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), fieldSize - 1));
}

}  // namespace

std::string ArtNetPortAddress::text() const {
    return std::to_string(net()) + ":" + std::to_string(subNet()) + ":" + std::to_string(universe());
}

ArtNetPacket parseArtNetPacket(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 10 || std::memcmp(data, kArtNetId, sizeof kArtNetId) != 0) {
        return bad("not Art-Net");
    }
    const std::uint16_t opCode = readLittleEndian16(data + 8);
    if (opCode != kArtNetOpDmx && opCode != kArtNetOpPoll) {
        ArtNetPacket other;
        other.kind = ArtNetPacket::Kind::Other;
        return other;
    }
    if (size < 12) {
        return bad("truncated header");
    }
    if (readBigEndian16(data + 10) < kArtNetProtocolVersion) {
        return bad("protocol version before Art-Net 14");
    }

    ArtNetPacket packet;
    if (opCode == kArtNetOpPoll) {
        if (size < kPollMinimumSize) {
            return bad("truncated ArtPoll");
        }
        packet.kind = ArtNetPacket::Kind::Poll;
        packet.poll.flags = data[12];
        if ((data[12] & kPollFlagTargeted) != 0 && size >= kPollTargetedSize) {
            packet.poll.targeted = true;
            packet.poll.targetTop = readBigEndian16(data + 14);
            packet.poll.targetBottom = readBigEndian16(data + 16);
        }
        return packet;
    }

    if (size < kArtNetDmxHeaderSize) {
        return bad("truncated ArtDmx");
    }
    const std::size_t length = readBigEndian16(data + 16);
    if (length == 0) {
        return bad("ArtDmx without slots");
    }
    if (length > kMaxSlots) {
        return bad("ArtDmx longer than 512 slots");
    }
    if (length > size - kArtNetDmxHeaderSize) {
        return bad("ArtDmx length beyond the packet");
    }
    if ((data[15] & 0x80) != 0) {
        return bad("ArtDmx net beyond 127");
    }
    packet.kind = ArtNetPacket::Kind::Dmx;
    packet.dmx.sequence = data[12];
    packet.dmx.portAddress.value = static_cast<std::uint16_t>((data[15] << 8) | data[14]);
    packet.dmx.slots = data + kArtNetDmxHeaderSize;
    packet.dmx.slotCount = length;
    return packet;
}

std::vector<std::uint8_t> buildArtPollReply(const ArtPollReplyContent& content) {
    std::vector<std::uint8_t> reply(kArtPollReplySize, 0);
    std::uint8_t* r = reply.data();
    std::memcpy(r, kArtNetId, sizeof kArtNetId);
    writeLittleEndian16(r + 8, kArtNetOpPollReply);
    std::copy(content.address.begin(), content.address.end(), r + 10);
    writeLittleEndian16(r + 14, kArtNetUdpPort);
    writeBigEndian16(r + 16, 1);  // firmware version
    r[18] = content.portAddress.net();
    r[19] = content.portAddress.subNet();
    writeBigEndian16(r + 20, 0x00FF);  // OEM code: unknown
    // Status1: indicators normal; port-address set on the node itself (its command line).
    r[23] = 0xD0;
    writeLittleEndian16(r + 24, 0x7FF0);  // ESTA manufacturer code reserved for development
    putText(r + 26, 18, content.shortName);
    putText(r + 44, 64, content.longName);
    putText(r + 108, 64, content.nodeReport);
    writeBigEndian16(r + 172, 1);  // one port
    r[174] = 0x80;                 // it outputs DMX512 from the network
    r[182] = content.outputting ? 0x80 : 0x00;
    r[190] = content.portAddress.universe();
    r[200] = 0x00;  // style: a node
    std::copy(content.address.begin(), content.address.end(), r + 207);
    r[211] = 1;     // bind index of the root device
    r[212] = 0x08;  // Status2: 15-bit port-addresses
    r[213] = 0x80;  // GoodOutputB: no RDM; output only on change
    return reply;
}
