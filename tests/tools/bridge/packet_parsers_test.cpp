// The bridge's packet parsers against packets laid out from the protocols' documents: what a good
// packet says, and that every malformed one is refused with a reason, never read beyond its end.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/tools/bridge/dmx_packets.h"
#include "tools/bridge/artnet_packet.h"
#include "tools/bridge/sacn_packet.h"

namespace {

using dmx_packets::Bytes;

TEST(SacnPacket, ReadsEveryFieldOfADataPacket) {
    dmx_packets::Sacn s;
    s.cidByte = 0x5A;
    s.name = "Desk\x01";
    s.priority = 150;
    s.sequence = 77;
    s.options = 0x40;
    s.universe = 63999;
    s.slots = dmx_packets::slotsAt(1, {10, 20, 30}, 3);
    const Bytes bytes = dmx_packets::sacn(s);
    const SacnPacket packet = parseSacnPacket(bytes.data(), bytes.size());
    ASSERT_EQ(packet.kind, SacnPacket::Kind::Data) << packet.fault;
    const SacnData& d = packet.data;
    SacnCid cid;
    cid.fill(0x5A);
    EXPECT_EQ(d.cid, cid);
    EXPECT_EQ(d.sourceName, "Desk?") << "control characters are not shown";
    EXPECT_EQ(d.priority, 150);
    EXPECT_EQ(d.sequence, 77);
    EXPECT_TRUE(d.terminated);
    EXPECT_FALSE(d.preview);
    EXPECT_EQ(d.universe, 63999);
    EXPECT_EQ(d.startCode, 0);
    ASSERT_EQ(d.slotCount, 3u);
    EXPECT_EQ(Bytes(d.slots, d.slots + 3), (Bytes{10, 20, 30}));

    s.slots.clear();  // a start code alone is a packet of no slots
    const Bytes empty = dmx_packets::sacn(s);
    EXPECT_EQ(parseSacnPacket(empty.data(), empty.size()).data.slotCount, 0u);
}

TEST(SacnPacket, ExtendedPacketsAreWellFormedButNoData) {
    Bytes sync = dmx_packets::sacn({});
    sync[21] = 0x08;  // root vector: extended (synchronisation, universe discovery)
    EXPECT_EQ(parseSacnPacket(sync.data(), sync.size()).kind, SacnPacket::Kind::Other);
}

TEST(ArtNetPacket, ReadsArtDmxAndArtPoll) {
    const Bytes dmx = dmx_packets::artDmx(0x1234, {1, 2, 3, 4}, 9);
    const ArtNetPacket packet = parseArtNetPacket(dmx.data(), dmx.size());
    ASSERT_EQ(packet.kind, ArtNetPacket::Kind::Dmx) << packet.fault;
    EXPECT_EQ(packet.dmx.portAddress.value, 0x1234);
    EXPECT_EQ(packet.dmx.portAddress.text(), "18:3:4");
    EXPECT_EQ(packet.dmx.sequence, 9);
    EXPECT_EQ(Bytes(packet.dmx.slots, packet.dmx.slots + packet.dmx.slotCount), (Bytes{1, 2, 3, 4}));

    Bytes plain = dmx_packets::artPoll();
    plain.resize(14);  // an Art-Net 3 poll has no target fields
    const ArtNetPacket poll = parseArtNetPacket(plain.data(), plain.size());
    ASSERT_EQ(poll.kind, ArtNetPacket::Kind::Poll);
    EXPECT_TRUE(poll.poll.asks({0}) && poll.poll.asks({0x7FFF}));

    const Bytes targeted = dmx_packets::artPoll(true, 16, 31);
    const ArtPoll narrow = parseArtNetPacket(targeted.data(), targeted.size()).poll;
    EXPECT_FALSE(narrow.asks({15}));
    EXPECT_TRUE(narrow.asks({16}) && narrow.asks({31}));
    EXPECT_FALSE(narrow.asks({32}));

    const Bytes reply = dmx_packets::artNetHeader(kArtNetOpPollReply, kArtPollReplySize);
    EXPECT_EQ(parseArtNetPacket(reply.data(), reply.size()).kind, ArtNetPacket::Kind::Other);
}

TEST(ArtNetPacket, PollReplyNamesTheNodeAndItsPortAddress) {
    ArtPollReplyContent content;
    content.address = {127, 0, 3, 4};
    content.portAddress.value = 0x0123;  // 1:2:3
    content.shortName = "a name longer than seventeen";
    content.longName = "Lumenta bridge on ttyUSB0";
    content.nodeReport = "#0001 [0001] ok";
    content.outputting = true;
    const std::vector<std::uint8_t> r = buildArtPollReply(content);
    ASSERT_EQ(r.size(), 239u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.data()), 8), std::string("Art-Net\0", 8));
    EXPECT_EQ(r[8] | (r[9] << 8), 0x2100);
    EXPECT_EQ(Bytes(r.begin() + 10, r.begin() + 14), (Bytes{127, 0, 3, 4}));
    EXPECT_EQ(r[14] | (r[15] << 8), 6454);
    EXPECT_EQ(r[18], 1) << "net";
    EXPECT_EQ(r[19], 2) << "sub-net";
    EXPECT_EQ(r[190], 3) << "universe of the output port";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[26])), "a name longer tha")
        << "17 characters and a 0";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[44])), "Lumenta bridge on ttyUSB0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[108])), "#0001 [0001] ok");
    EXPECT_EQ((r[172] << 8) | r[173], 1) << "one port";
    EXPECT_EQ(r[174], 0x80) << "it outputs DMX";
    EXPECT_EQ(r[182], 0x80) << "and data is going out";
    EXPECT_EQ(Bytes(r.begin() + 207, r.begin() + 211), (Bytes{127, 0, 3, 4}));
}

TEST(BridgePackets, EveryMalformedPacketIsBad) {
    for (const auto& bad : dmx_packets::badPackets()) {
        // An exact-size copy, so a read beyond the end shows under AddressSanitizer.
        const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bad.bytes.size()]);
        std::copy(bad.bytes.begin(), bad.bytes.end(), copy.get());
        if (bad.sacn) {
            const SacnPacket packet = parseSacnPacket(copy.get(), bad.bytes.size());
            EXPECT_EQ(packet.kind, SacnPacket::Kind::Bad) << bad.what;
            EXPECT_STRNE(packet.fault, "") << bad.what;
        } else {
            const ArtNetPacket packet = parseArtNetPacket(copy.get(), bad.bytes.size());
            EXPECT_EQ(packet.kind, ArtNetPacket::Kind::Bad) << bad.what;
            EXPECT_STRNE(packet.fault, "") << bad.what;
        }
    }
}

}  // namespace
