#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/bridge/artnet_packet.h"
#include "tools/bridge/dimmer_levels.h"
#include "tools/bridge/sacn_packet.h"

// What the dimmer does when the last source has gone: keep the levels it has, or go dark.
enum class LossPolicy { Hold, Blackout };

struct MergeSettings {
    bool artNet = true;
    bool sacn = true;
    std::uint16_t sacnUniverse = 1;
    ArtNetPortAddress artNetPortAddress;  // universe 1 is port-address 0
    unsigned firstSlot = 1;               // DMX slot of channel 1 (1..489)
    LossPolicy onLoss = LossPolicy::Hold;
};

// Decides, from every source sending to the bridge's universe, which 24 levels the dimmer gets.
//
// One source is in control at a time: the one with the highest priority, followed up and down (never
// a highest-level merge of several). Among sources of equal priority the one in control keeps it; the
// one that has sent longest takes over when it goes. sACN sources are told apart by their CID and
// carry their priority in every packet; Art-Net sources by their address, at sACN's default priority
// 100. A source is lost 2.5 s after its last packet (sACN) or 10 s (Art-Net, whose senders repeat
// unchanged data only every few seconds), and at once when it says it terminates its stream.
//
// A CID belongs to the address it first came from for as long as it is tracked: its data and its
// termination from any other address are dropped, so that nobody can end or steer another's stream by
// naming its CID. No sender can lock others out by numbers: one address holds at most
// kMaxSourcesPerAddress sources, and when the table is full a newcomer of higher priority than the
// lowest tracked takes the place of the longest silent of those lowest.
//
// Packets that arrive out of order (the sequence number is 1 to 19 behind the last one, or equal)
// are dropped. A packet sets the slots it carries; slots beyond its length keep that source's earlier
// levels (0 before any). Nothing here reads a clock: the caller passes the time.
class SourceMerge {
public:
    enum class Verdict {
        Applied,        // the packet came from a source and was taken in
        OtherUniverse,  // for a universe or port-address the bridge does not take
        OutOfOrder,     // older than what its source sent already
        Ignored,        // preview data, data that is not levels, a protocol that is off
        WrongAddress,   // an sACN CID that is tracked from another address
        AddressFull,    // a new source from an address that has kMaxSourcesPerAddress already
        TableFull,      // a new source, the table full, of no higher priority than the lowest tracked
    };

    static constexpr std::size_t kMaxSources = 32;
    static constexpr std::size_t kMaxSourcesPerAddress = 4;
    static constexpr std::uint8_t kArtNetPriority = 100;
    static constexpr BridgeClock::duration kSacnLossTime = std::chrono::milliseconds(2500);
    static constexpr BridgeClock::duration kArtNetLossTime = std::chrono::seconds(10);

    explicit SourceMerge(const MergeSettings& settings);

    Verdict acceptSacn(std::uint32_t senderAddress, const SacnData& packet, BridgeClock::time_point now);
    Verdict acceptArtDmx(std::uint32_t senderAddress, const ArtDmx& packet, BridgeClock::time_point now);
    // Forgets the sources that have been silent for too long.
    void expire(BridgeClock::time_point now);
    // When the next source would be lost, if any is there.
    std::optional<BridgeClock::time_point> nextExpiry() const;

    // The levels for the dimmer: the controlling source's, or after the last source went, the levels
    // held or all 0. All 0 until a source has sent anything.
    const DimmerLevels& levels() const { return levels_; }
    // True once any source has sent levels: before that the bridge has nothing to tell the dimmer.
    bool hasLevels() const { return hasLevels_; }
    std::size_t sourceCount() const { return sources_.size(); }
    // "QLC+ (sACN, priority 100)", or empty when no source is there.
    std::string controllingSource() const;

private:
    struct Source {
        bool sacn = false;
        SacnCid cid{};
        std::uint32_t address = 0;  // the sender's; for sACN, the one the CID first came from
        std::string name;
        std::uint8_t priority = 0;
        std::uint8_t sequence = 0;
        bool numbered = false;  // whether sequence holds a number to check the next packet against
        BridgeClock::time_point since;
        BridgeClock::time_point lastSeen;
        DimmerLevels levels{};
        bool inControl = false;
    };

    struct Update {
        std::uint8_t sequence = 0;
        bool sequenced = true;  // false: an Art-Net packet with sequence 0, which is not numbered
        bool terminated = false;
        const std::uint8_t* slots = nullptr;
        std::size_t slotCount = 0;
    };

    Verdict accept(Source key, const Update& update, BridgeClock::time_point now);
    std::vector<Source>::iterator find(const Source& key);
    // Room for a new source, or why there is none; may forget a source of lower priority for it.
    Verdict makeRoom(const Source& newcomer);
    void elect();
    BridgeClock::duration lossTime(const Source& source) const;

    MergeSettings settings_;
    std::vector<Source> sources_;
    DimmerLevels levels_{};
    bool hasLevels_ = false;
};
