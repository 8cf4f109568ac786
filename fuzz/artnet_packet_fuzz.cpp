// Art-Net datagrams of any shape: the parser must refuse what does not add up without reading beyond
// the datagram, and what it accepts must lie inside it; accepted ArtDmx goes on through the choice
// among sources and the frame scheduler, whose frames must always be valid.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "control/frame_decoder.h"
#include "fuzz/fuzz_check.h"
#include "tools/bridge/artnet_packet.h"
#include "tools/bridge/frame_scheduler.h"
#include "tools/bridge/source_merge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read past the end is caught by the sanitizer.
    const std::vector<std::uint8_t> datagram(data, data + size);
    const ArtNetPacket packet = parseArtNetPacket(datagram.data(), datagram.size());
    switch (packet.kind) {
        case ArtNetPacket::Kind::Dmx: {
            const ArtDmx& dmx = packet.dmx;
            check(dmx.slotCount >= 1 && dmx.slotCount <= 512);
            check(dmx.slots == datagram.data() + kArtNetDmxHeaderSize);
            check(kArtNetDmxHeaderSize + dmx.slotCount <= size);
            check(dmx.portAddress.value <= kArtNetHighestPortAddress);
            MergeSettings settings;
            settings.artNetPortAddress = dmx.portAddress;
            settings.firstSlot = 1 + (size % 489);
            SourceMerge merge(settings);
            FrameScheduler scheduler(DimmerMode::H, 115200);
            const BridgeClock::time_point now{};
            check(merge.acceptArtDmx(1, dmx, now) == SourceMerge::Verdict::Applied);
            scheduler.want(merge.levels());
            for (auto at = now; scheduler.pending(); at += std::chrono::milliseconds(1)) {
                while (const auto frame = scheduler.next(at)) {
                    check(FrameDecoder::isValidFrame(*frame));
                }
            }
            break;
        }
        case ArtNetPacket::Kind::Poll:
            check(size >= 14);
            break;
        case ArtNetPacket::Kind::Other:
            check(size >= 10);
            break;
        case ArtNetPacket::Kind::Bad:
            check(packet.fault != nullptr && packet.fault[0] != '\0');
            break;
    }
    return 0;
}
