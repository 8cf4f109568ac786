// E1.31 datagrams of any shape: the parser must refuse what does not add up without reading beyond
// the datagram, and what it accepts must match its own length fields. The datagram is offered twice,
// so the choice among sources sees a repeated sequence number, which it must drop.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tools/bridge/sacn_packet.h"
#include "tools/bridge/source_merge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read past the end is caught by the sanitizer.
    const std::vector<std::uint8_t> datagram(data, data + size);
    const SacnPacket packet = parseSacnPacket(datagram.data(), datagram.size());
    if (packet.kind == SacnPacket::Kind::Bad) {
        check(packet.fault != nullptr && packet.fault[0] != '\0');
        return 0;
    }
    if (packet.kind == SacnPacket::Kind::Other) {
        return 0;
    }
    const SacnData& d = packet.data;
    check(size == kSacnHeaderSize + d.slotCount && d.slotCount <= 512);
    check(d.slots == datagram.data() + kSacnHeaderSize);
    check(d.priority <= kSacnHighestPriority);
    check(d.universe >= kSacnLowestUniverse && d.universe <= kSacnHighestUniverse);
    check(d.sourceName.size() <= 64);

    MergeSettings settings;
    settings.sacnUniverse = d.universe;
    SourceMerge merge(settings);
    const BridgeClock::time_point now{};
    const SourceMerge::Verdict first = merge.acceptSacn(1, d, now);
    const bool usable = !d.preview && d.startCode == 0 && !d.terminated;
    check(first == (usable ? SourceMerge::Verdict::Applied : SourceMerge::Verdict::Ignored));
    if (usable) {
        check(merge.acceptSacn(1, d, now) == SourceMerge::Verdict::OutOfOrder);
        check(merge.sourceCount() == 1);
    }
    return 0;
}
