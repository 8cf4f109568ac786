#include "tools/bridge/source_merge.h"

#include <algorithm>

#include "tools/bridge/ipv4_address.h"

namespace {

// A packet is out of order when its sequence number is the last one or up to 19 behind it; a jump
// back of 20 or more is a source that started again.
bool outOfOrder(std::uint8_t last, std::uint8_t next) {
    const auto step = static_cast<std::int8_t>(static_cast<std::uint8_t>(next - last));
    return step <= 0 && step > -20;
}

}  // namespace

SourceMerge::SourceMerge(const MergeSettings& settings) : settings_(settings) {}

SourceMerge::Verdict SourceMerge::acceptSacn(std::uint32_t senderAddress, const SacnData& packet,
                                             BridgeClock::time_point now) {
    if (!settings_.sacn) {
        return Verdict::Ignored;
    }
    if (packet.universe != settings_.sacnUniverse) {
        return Verdict::OtherUniverse;
    }
    if (packet.preview || packet.startCode != 0) {
        return Verdict::Ignored;
    }
    Source key;
    key.sacn = true;
    key.cid = packet.cid;
    key.address = senderAddress;
    key.name = packet.sourceName;
    key.priority = packet.priority;
    return accept(key, {packet.sequence, true, packet.terminated, packet.slots, packet.slotCount}, now);
}

SourceMerge::Verdict SourceMerge::acceptArtDmx(std::uint32_t senderAddress, const ArtDmx& packet,
                                               BridgeClock::time_point now) {
    if (!settings_.artNet) {
        return Verdict::Ignored;
    }
    if (packet.portAddress.value != settings_.artNetPortAddress.value) {
        return Verdict::OtherUniverse;
    }
    Source key;
    key.address = senderAddress;
    key.name = ipv4Text(senderAddress);
    key.priority = kArtNetPriority;
    return accept(key, {packet.sequence, packet.sequence != 0, false, packet.slots, packet.slotCount}, now);
}

SourceMerge::Verdict SourceMerge::accept(Source key, const Update& update, BridgeClock::time_point now) {
    auto source = find(key);
    if (source != sources_.end() && source->address != key.address) {
        return Verdict::WrongAddress;
    }
    if (source != sources_.end() && update.sequenced && source->numbered &&
        outOfOrder(source->sequence, update.sequence)) {
        return Verdict::OutOfOrder;
    }
    if (update.terminated) {
        // The data of a terminating packet is not used, and it never brings a source in.
        if (source == sources_.end()) {
            return Verdict::Ignored;
        }
        sources_.erase(source);
        elect();
        return Verdict::Applied;
    }
    if (source == sources_.end()) {
        if (const Verdict room = makeRoom(key); room != Verdict::Applied) {
            return room;
        }
        key.since = now;
        sources_.push_back(key);
        source = sources_.end() - 1;
    }
    source->sequence = update.sequence;
    source->numbered = update.sequenced;
    source->lastSeen = now;
    source->priority = key.priority;
    source->name = key.name;
    for (std::size_t channel = 0; channel < source->levels.size(); ++channel) {
        const std::size_t slot = settings_.firstSlot - 1 + channel;
        if (slot < update.slotCount) {
            source->levels[channel] = update.slots[slot];
        }
    }
    elect();
    return Verdict::Applied;
}

std::vector<SourceMerge::Source>::iterator SourceMerge::find(const Source& key) {
    return std::find_if(sources_.begin(), sources_.end(), [&key](const Source& s) {
        return s.sacn == key.sacn && (s.sacn ? s.cid == key.cid : s.address == key.address);
    });
}

SourceMerge::Verdict SourceMerge::makeRoom(const Source& newcomer) {
    const auto fromSameAddress = [&newcomer](const Source& s) { return s.address == newcomer.address; };
    if (static_cast<std::size_t>(std::count_if(sources_.begin(), sources_.end(), fromSameAddress)) >=
        kMaxSourcesPerAddress) {
        return Verdict::AddressFull;
    }
    if (sources_.size() < kMaxSources) {
        return Verdict::Applied;
    }
    // The lowest priority, and among those the source silent longest.
    const auto weakest =
        std::min_element(sources_.begin(), sources_.end(), [](const Source& a, const Source& b) {
            return a.priority != b.priority ? a.priority < b.priority : a.lastSeen < b.lastSeen;
        });
    if (weakest->priority >= newcomer.priority) {
        return Verdict::TableFull;
    }
    sources_.erase(weakest);
    return Verdict::Applied;
}

void SourceMerge::expire(BridgeClock::time_point now) {
    const auto lost = [this, now](const Source& s) { return now - s.lastSeen >= lossTime(s); };
    if (std::any_of(sources_.begin(), sources_.end(), lost)) {
        sources_.erase(std::remove_if(sources_.begin(), sources_.end(), lost), sources_.end());
        elect();
    }
}

std::optional<BridgeClock::time_point> SourceMerge::nextExpiry() const {
    std::optional<BridgeClock::time_point> next;
    for (const Source& s : sources_) {
        const auto at = s.lastSeen + lossTime(s);
        if (!next || at < *next) {
            next = at;
        }
    }
    return next;
}

BridgeClock::duration SourceMerge::lossTime(const Source& source) const {
    return source.sacn ? kSacnLossTime : kArtNetLossTime;
}

void SourceMerge::elect() {
    if (sources_.empty()) {
        if (settings_.onLoss == LossPolicy::Blackout) {
            levels_.fill(0);
        }
        return;
    }
    const auto byPriority = [](const Source& a, const Source& b) { return a.priority < b.priority; };
    const std::uint8_t best = std::max_element(sources_.begin(), sources_.end(), byPriority)->priority;
    auto current =
        std::find_if(sources_.begin(), sources_.end(), [](const Source& s) { return s.inControl; });
    if (current == sources_.end() || current->priority != best) {
        if (current != sources_.end()) {
            current->inControl = false;
        }
        current = sources_.end();
        for (auto s = sources_.begin(); s != sources_.end(); ++s) {
            if (s->priority == best && (current == sources_.end() || s->since < current->since)) {
                current = s;
            }
        }
        current->inControl = true;
    }
    levels_ = current->levels;
    hasLevels_ = true;
}

std::string SourceMerge::controllingSource() const {
    for (const Source& s : sources_) {
        if (s.inControl) {
            return s.name + (s.sacn ? " (sACN, priority " + std::to_string(s.priority) + ")" : " (Art-Net)");
        }
    }
    return "";
}
