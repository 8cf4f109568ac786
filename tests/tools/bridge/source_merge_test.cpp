// Which source's levels the dimmer gets: sequence numbers, priority up and down, stream termination,
// loss with hold or blackout, Art-Net beside sACN, what is ignored, and what one sender may not do to
// the others. Each scenario is a list of steps at given times, with the verdict and the level of
// channel 1 after each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/bridge/dmx_packets.h"
#include "tools/bridge/source_merge.h"

namespace {

using Verdict = SourceMerge::Verdict;

enum class Kind { Sacn, ArtNet, Expire };

struct Step {
    int atMs;
    Kind kind;
    std::uint8_t source;  // sACN: the CID's byte; Art-Net: the last byte of the sender's address
    unsigned priority = 100;
    unsigned sequence = 0;
    std::uint8_t level = 0;  // every slot takes it
    unsigned options = 0;    // sACN: 0x40 terminated, 0x80 preview
    Verdict verdict = Verdict::Applied;
    int channel1 = -1;  // the level of channel 1 afterwards; -1: not checked
    int sources = -1;
    unsigned universe = 1;  // sACN universe, or Art-Net port-address
    unsigned startCode = 0;
    std::uint8_t from = 0;  // sACN: the last byte of the sender's address; 0: the CID's byte
};

Step sacn(int atMs, std::uint8_t source, unsigned priority, unsigned sequence, std::uint8_t level,
          int channel1, Verdict verdict = Verdict::Applied) {
    return {atMs, Kind::Sacn, source, priority, sequence, level, 0, verdict, channel1};
}

Step terminate(int atMs, std::uint8_t source, unsigned sequence, int channel1, int sources,
               Verdict verdict = Verdict::Applied) {
    return {atMs, Kind::Sacn, source, 100, sequence, 99, 0x40, verdict, channel1, sources};
}

Step artNet(int atMs, std::uint8_t source, unsigned sequence, std::uint8_t level, int channel1,
            Verdict verdict = Verdict::Applied, unsigned portAddress = 0) {
    Step s{atMs, Kind::ArtNet, source, 100, sequence, level, 0, verdict, channel1};
    s.universe = portAddress;
    return s;
}

Step from(std::uint8_t address, Step step) {
    step.from = address;
    return step;
}

Step expire(int atMs, int channel1, int sources) {
    return {atMs, Kind::Expire, 0, 0, 0, 0, 0, Verdict::Applied, channel1, sources};
}

struct Scenario {
    const char* name;
    MergeSettings settings;
    std::vector<Step> steps;
};

MergeSettings blackout() {
    MergeSettings settings;
    settings.onLoss = LossPolicy::Blackout;
    return settings;
}

void play(const Scenario& scenario) {
    SourceMerge merge(scenario.settings);
    const BridgeClock::time_point start{};
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        const auto now = start + std::chrono::milliseconds(step.atMs);
        const std::string where = std::string(scenario.name) + ", step " + std::to_string(i + 1);
        const dmx_packets::Bytes slots(512, step.level);
        if (step.kind == Kind::Expire) {
            merge.expire(now);
        } else if (step.kind == Kind::Sacn) {
            dmx_packets::Sacn s;
            s.cidByte = step.source;
            s.priority = step.priority;
            s.sequence = step.sequence;
            s.options = step.options;
            s.universe = step.universe;
            s.startCode = step.startCode;
            s.slots = slots;
            const dmx_packets::Bytes bytes = dmx_packets::sacn(s);
            const SacnPacket packet = parseSacnPacket(bytes.data(), bytes.size());
            ASSERT_EQ(packet.kind, SacnPacket::Kind::Data) << where;
            const std::uint32_t sender = 0x7F000000u | (step.from != 0 ? step.from : step.source);
            EXPECT_EQ(merge.acceptSacn(sender, packet.data, now), step.verdict) << where;
        } else {
            const dmx_packets::Bytes bytes = dmx_packets::artDmx(step.universe, slots, step.sequence);
            const ArtNetPacket packet = parseArtNetPacket(bytes.data(), bytes.size());
            EXPECT_EQ(merge.acceptArtDmx(0x7F000000u | step.source, packet.dmx, now), step.verdict) << where;
        }
        if (step.channel1 >= 0) {
            EXPECT_EQ(merge.levels()[0], step.channel1) << where;
            EXPECT_EQ(merge.levels()[23], step.channel1) << where;
        }
        if (step.sources >= 0) {
            EXPECT_EQ(merge.sourceCount(), static_cast<std::size_t>(step.sources)) << where;
        }
    }
}

TEST(SourceMerge, Scenarios) {
    const std::vector<Scenario> scenarios = {
        {"sequence numbers",
         {},
         {sacn(0, 1, 100, 10, 10, 10), sacn(1, 1, 100, 10, 11, 10, Verdict::OutOfOrder),
          sacn(2, 1, 100, 9, 11, 10, Verdict::OutOfOrder),
          sacn(3, 1, 100, 247, 11, 10, Verdict::OutOfOrder),         // 19 behind
          sacn(4, 1, 100, 246, 12, 12),                              // 20 behind: the source started again
          sacn(5, 1, 100, 255, 13, 13), sacn(6, 1, 100, 0, 14, 14),  // on through the wrap
          sacn(7, 2, 100, 0, 50, 14)}},                              // another source numbers its own packets
        {"priority followed up and down",
         {},
         {sacn(0, 1, 100, 0, 10, 10), sacn(10, 2, 150, 0, 20, 20), sacn(20, 1, 100, 1, 11, 20),
          sacn(30, 2, 50, 1, 21, 11),   // the controlling source drops below: the other takes over
          sacn(40, 2, 120, 2, 22, 22),  // and back up
          sacn(50, 2, 100, 3, 23, 23),  // down to a tie: the one in control keeps it
          sacn(60, 1, 100, 2, 12, 23)}},
        {"equal priority: the first keeps control until it goes",
         {},
         {sacn(0, 1, 100, 0, 10, 10), sacn(10, 2, 100, 0, 20, 10), sacn(20, 3, 100, 0, 30, 10),
          terminate(30, 1, 1, 20, 2)}},
        {"termination hands over at once, then holds",
         {},
         {sacn(0, 1, 100, 0, 10, 10), sacn(10, 2, 200, 0, 30, 30), terminate(20, 2, 1, 10, 1),
          terminate(30, 2, 2, 10, 1, Verdict::Ignored),  // the repeats of the termination bring nothing
          terminate(40, 1, 1, 10, 0), expire(5000, 10, 0)}},
        {"termination with blackout", blackout(), {sacn(0, 1, 100, 0, 10, 10), terminate(20, 1, 1, 0, 0)}},
        {"loss after 2.5 s, then hold",
         {},
         {sacn(0, 1, 100, 0, 10, 10), sacn(2000, 2, 50, 0, 5, 10), expire(2499, 10, 2), expire(2500, 5, 1),
          expire(4499, 5, 1), expire(4500, 5, 0)}},
        {"loss with blackout",
         blackout(),
         {sacn(0, 1, 100, 0, 10, 10), expire(2499, 10, 1), expire(2500, 0, 0)}},
        {"Art-Net beside sACN",
         {},
         {artNet(0, 5, 0, 40, 40), artNet(1, 5, 0, 41, 41),  // sequence 0: not numbered
          artNet(2, 5, 7, 42, 42), artNet(3, 5, 6, 43, 42, Verdict::OutOfOrder),
          artNet(4, 6, 0, 60, 42, Verdict::OtherUniverse, 1), sacn(5, 1, 150, 0, 70, 70),
          sacn(6, 1, 99, 1, 71, 42),  // below Art-Net's 100
          expire(2506, 42, 1),        // the sACN source is lost, Art-Net lives on
          expire(10001, 42, 1), expire(10002, 42, 0)}},
        {"no source from a terminating packet, preview or other data",
         {},
         [] {
             Step preview = sacn(1, 2, 200, 0, 90, 10, Verdict::Ignored);
             preview.options = 0x80;
             Step perSlotPriority = sacn(2, 2, 200, 0, 90, 10, Verdict::Ignored);
             perSlotPriority.startCode = 0xDD;
             Step otherUniverse = sacn(3, 2, 200, 0, 90, 10, Verdict::OtherUniverse);
             otherUniverse.universe = 2;
             return std::vector<Step>{sacn(0, 1, 100, 0, 10, 10, Verdict::Applied), preview, perSlotPriority,
                                      otherUniverse, terminate(4, 3, 0, 10, 1, Verdict::Ignored)};
         }()},
        {"a CID is its first address's while it is tracked",
         {},
         {sacn(0, 1, 100, 0, 10, 10), from(9, sacn(10, 1, 200, 1, 99, 10, Verdict::WrongAddress)),
          from(9, terminate(20, 1, 2, 10, 1, Verdict::WrongAddress)),  // a spoofed end changes nothing
          sacn(30, 1, 100, 1, 11, 11), expire(2530, 11, 0),
          from(9, sacn(2540, 1, 200, 9, 99, 99))}},  // gone, the CID may come from elsewhere
        {"no lockout by numbers",
         {},
         [] {
             // Eight hosts with four priority-0 sources each fill the table; CID 0x11 falls silent.
             std::vector<Step> steps;
             for (std::uint8_t host = 1; host <= 8; ++host) {
                 for (std::uint8_t n = 0; n < 4; ++n) {
                     const std::uint8_t cid = static_cast<std::uint8_t>(host << 4 | n);
                     steps.push_back(from(host, sacn(cid == 0x11 ? 0 : 1000, cid, 0, 0, 5, 5)));
                 }
             }
             steps.back().sources = 32;
             steps.push_back(from(1, sacn(1001, 0x14, 200, 0, 90, 5, Verdict::AddressFull)));
             steps.push_back(from(100, sacn(1002, 0xC0, 200, 0, 70, 70)));  // the console takes 0x11's place
             steps.push_back(from(1, sacn(1003, 0x11, 0, 1, 5, 70, Verdict::TableFull)));
             steps.push_back(from(1, sacn(1004, 0x12, 0, 1, 5, 70)));  // still tracked
             Step artNetConsole = artNet(1005, 101, 0, 40, 70);        // above priority 0 too
             artNetConsole.sources = 32;
             steps.push_back(artNetConsole);
             steps.push_back(from(100, terminate(1006, 0xC0, 1, 40, 31)));
             return steps;
         }()},
    };
    for (const Scenario& scenario : scenarios) {
        play(scenario);
    }
}

TEST(SourceMerge, ProtocolsThatAreOffAreIgnored) {
    MergeSettings artNetOnly;
    artNetOnly.sacn = false;
    play({"sACN off", artNetOnly, {sacn(0, 1, 100, 0, 10, 0, Verdict::Ignored), artNet(1, 1, 0, 20, 20)}});
    MergeSettings sacnOnly;
    sacnOnly.artNet = false;
    play({"Art-Net off", sacnOnly, {artNet(0, 1, 0, 20, 0, Verdict::Ignored), sacn(1, 1, 100, 0, 10, 10)}});
}

TEST(SourceMerge, ChannelsTakeTheirSlotsAndShortPacketsLeaveTheRest) {
    MergeSettings settings;
    settings.firstSlot = 489;  // channel 24 is slot 512
    SourceMerge merge(settings);
    const BridgeClock::time_point now{};
    dmx_packets::Bytes slots(512);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i] = static_cast<std::uint8_t>(i + 1);
    }
    dmx_packets::Bytes bytes = dmx_packets::artDmx(0, slots);
    ASSERT_EQ(merge.acceptArtDmx(1, parseArtNetPacket(bytes.data(), bytes.size()).dmx, now),
              Verdict::Applied);
    EXPECT_FALSE(merge.levels() == DimmerLevels{});
    for (std::size_t c = 0; c < 24; ++c) {
        EXPECT_EQ(merge.levels()[c], static_cast<std::uint8_t>(489 + c)) << "channel " << c + 1;
    }
    // 490 slots of 0 reach channels 1 and 2 only; the rest keep their levels.
    bytes = dmx_packets::artDmx(0, dmx_packets::Bytes(490, 0));
    merge.acceptArtDmx(1, parseArtNetPacket(bytes.data(), bytes.size()).dmx, now);
    EXPECT_EQ(merge.levels()[0], 0);
    EXPECT_EQ(merge.levels()[1], 0);
    EXPECT_EQ(merge.levels()[2], static_cast<std::uint8_t>(491));
}

}  // namespace
