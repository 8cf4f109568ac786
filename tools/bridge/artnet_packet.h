#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Art-Net 4 as the bridge speaks it: ArtDmx (levels for one port-address) and ArtPoll (discovery)
// in, ArtPollReply out, on UDP port 6454. Every other operation is ignored.
constexpr std::uint16_t kArtNetUdpPort = 6454;
constexpr std::uint16_t kArtNetOpPoll = 0x2000;
constexpr std::uint16_t kArtNetOpPollReply = 0x2100;
constexpr std::uint16_t kArtNetOpDmx = 0x5000;
constexpr std::uint16_t kArtNetProtocolVersion = 14;
constexpr std::size_t kArtNetDmxHeaderSize = 18;
constexpr std::size_t kArtPollReplySize = 239;
constexpr std::uint16_t kArtNetHighestPortAddress = 0x7FFF;

// A 15-bit port-address: net (7 bits), sub-net (4 bits), universe (4 bits).
struct ArtNetPortAddress {
    std::uint16_t value = 0;

    std::uint8_t net() const { return static_cast<std::uint8_t>((value >> 8) & 0x7F); }
    std::uint8_t subNet() const { return static_cast<std::uint8_t>((value >> 4) & 0x0F); }
    std::uint8_t universe() const { return static_cast<std::uint8_t>(value & 0x0F); }
    // "0:0:1" (net:sub-net:universe)
    std::string text() const;
};

// The levels of one ArtDmx. slots points into the packet it was read from.
struct ArtDmx {
    std::uint8_t sequence = 0;  // 0: the sender does not number its packets
    ArtNetPortAddress portAddress;
    const std::uint8_t* slots = nullptr;
    std::size_t slotCount = 0;  // 1..512
};

struct ArtPoll {
    std::uint8_t flags = 0;
    // Targeted mode: only nodes with a port-address in bottom..top answer.
    bool targeted = false;
    std::uint16_t targetBottom = 0;
    std::uint16_t targetTop = kArtNetHighestPortAddress;

    bool asks(ArtNetPortAddress address) const {
        return !targeted || (address.value >= targetBottom && address.value <= targetTop);
    }
};

struct ArtNetPacket {
    enum class Kind {
        Dmx,
        Poll,
        Other,  // a well-formed Art-Net packet of an operation the bridge has no use for
        Bad,    // not Art-Net, or a packet whose fields do not add up; fault says why
    };
    Kind kind = Kind::Bad;
    ArtDmx dmx;
    ArtPoll poll;
    const char* fault = "";
};

// Reads one UDP payload. Never reads outside data..data+size.
ArtNetPacket parseArtNetPacket(const std::uint8_t* data, std::size_t size);

// What an ArtPollReply tells a console about this node.
struct ArtPollReplyContent {
    std::array<std::uint8_t, 4> address{};  // the node's IPv4 address, as on the wire
    ArtNetPortAddress portAddress;          // the one output port's
    std::string shortName;                  // up to 17 characters are sent
    std::string longName;                   // up to 63
    std::string nodeReport;                 // up to 63
    bool outputting = false;                // data is reaching the dimmer
};

std::vector<std::uint8_t> buildArtPollReply(const ArtPollReplyContent& content);
