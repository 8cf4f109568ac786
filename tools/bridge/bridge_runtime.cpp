#include "tools/bridge/bridge_runtime.h"

#include <algorithm>

#include "control/panel_controller.h"

namespace {

// A datagram larger than any packet of either protocol is bad whatever it holds.
constexpr std::size_t kDatagramCapacity = 1500;
// Datagrams taken from one socket before the line gets its next frame.
constexpr int kDatagramsPerTurn = 64;

std::optional<BridgeClock::time_point> earliest(std::optional<BridgeClock::time_point> a,
                                                std::optional<BridgeClock::time_point> b) {
    if (!a || !b) {
        return a ? a : b;
    }
    return std::min(*a, *b);
}

}  // namespace

BridgeRuntime::BridgeRuntime(const BridgeOptions& options, DimmerLine& line,
                             std::unique_ptr<UdpSocket> artNet, std::unique_ptr<UdpSocket> sacn,
                             std::FILE* messages)
    : options_(options),
      line_(line),
      artNet_(std::move(artNet)),
      sacn_(std::move(sacn)),
      messages_(messages),
      merge_(options.merge),
      scheduler_(options.mode, PanelController::kBaudRate) {
    for (UdpSocket* socket : {artNet_.get(), sacn_.get()}) {
        if (socket != nullptr) {
            sockets_.push_back(socket);
        }
    }
}

BridgeCounters BridgeRuntime::counters() const {
    BridgeCounters c = counters_;
    c.framesSent = scheduler_.framesSent();
    c.levelsDropped = scheduler_.levelsDropped();
    c.sources = merge_.sourceCount();
    c.controllingSource = merge_.controllingSource();
    c.levels = merge_.levels();
    return c;
}

BridgeRuntime::Outcome BridgeRuntime::run(StopRequest& stop, StatusDisplay& display) {
    for (;;) {
        if (artNet_) {
            takeDatagrams(*artNet_, true);
        }
        if (sacn_) {
            takeDatagrams(*sacn_, false);
        }
        const BridgeClock::time_point now = BridgeClock::now();
        merge_.expire(now);
        if (merge_.hasLevels()) {
            scheduler_.want(merge_.levels());
        }
        scheduler_.setRefreshing(merge_.sourceCount() > 0, now);
        if (!keepPort(now, display)) {
            display.finish(counters());
            return Outcome::PortLost;
        }
        const std::optional<BridgeClock::time_point> showAt = display.update(counters(), now);
        if (line_.isOpen()) {
            if (const std::optional<DimmerFrame> frame = scheduler_.next(now)) {
                line_.write(*frame);  // a port lost here is taken up on the next turn
                continue;
            }
        }
        auto wake = earliest(earliest(merge_.nextExpiry(), showAt), portCheckAt_);
        if (line_.isOpen()) {
            wake = earliest(wake, scheduler_.wakeAt());
        }
        if (!waitForDatagrams(sockets_, stop, *wake - BridgeClock::now())) {
            break;
        }
    }
    display.finish(counters());
    return Outcome::Stopped;
}

bool BridgeRuntime::keepPort(BridgeClock::time_point now, StatusDisplay& display) {
    if (line_.isOpen() && line_.stillThere()) {
        if (now >= portCheckAt_) {
            portCheckAt_ = now + kPortCheck;
        }
        return true;
    }
    if (!counters_.portLost) {
        counters_.portLost = true;
        portCheckAt_ = now + kPortCheck;
        if (options_.exitOnPortLoss) {
            return false;
        }
        tell(portLostMessage(line_.name(), line_.lossStatus()) +
                 "; waiting for it to come back, and listening to the network meanwhile",
             display);
        return true;
    }
    if (now < portCheckAt_) {
        return true;
    }
    portCheckAt_ = now + kPortCheck;
    std::string failure;
    if (line_.reopen(failure)) {
        counters_.portLost = false;
        reopenFailure_.clear();
        scheduler_.forgetSent();
        tell("the port " + line_.name() + " is back: every channel's level goes to the dimmer again",
             display);
    } else if (!failure.empty() && failure != reopenFailure_) {
        reopenFailure_ = failure;
        tell("the port is there again but did not open (" + failure + "); still waiting for it", display);
    }
    return true;
}

void BridgeRuntime::tell(const std::string& message, StatusDisplay& display) {
    std::fprintf(messages_, "lumenta-bridge: %s\n", message.c_str());
    std::fflush(messages_);
    display.interrupted();
}

void BridgeRuntime::takeDatagrams(UdpSocket& socket, bool artNet) {
    std::uint8_t buffer[kDatagramCapacity];
    UdpEndpoint from;
    for (int turn = 0; turn < kDatagramsPerTurn; ++turn) {
        const std::optional<std::size_t> size = socket.receive(buffer, sizeof buffer, from);
        if (!size) {
            return;
        }
        ++counters_.packets;
        if (!options_.allows(from.address)) {
            ++counters_.notAllowed;
        } else if (*size > sizeof buffer) {
            ++counters_.bad;
        } else if (artNet) {
            takeArtNet(buffer, *size, from);
        } else {
            takeSacn(buffer, *size, from);
        }
    }
}

void BridgeRuntime::takeArtNet(const std::uint8_t* data, std::size_t size, const UdpEndpoint& from) {
    const ArtNetPacket packet = parseArtNetPacket(data, size);
    switch (packet.kind) {
        case ArtNetPacket::Kind::Dmx:
            count(merge_.acceptArtDmx(from.address, packet.dmx, BridgeClock::now()));
            break;
        case ArtNetPacket::Kind::Poll:
            if (packet.poll.asks(options_.merge.artNetPortAddress)) {
                answerPoll(from);
            }
            break;
        case ArtNetPacket::Kind::Other:
            ++counters_.ignored;
            break;
        case ArtNetPacket::Kind::Bad:
            ++counters_.bad;
            break;
    }
}

void BridgeRuntime::takeSacn(const std::uint8_t* data, std::size_t size, const UdpEndpoint& from) {
    const SacnPacket packet = parseSacnPacket(data, size);
    switch (packet.kind) {
        case SacnPacket::Kind::Data:
            count(merge_.acceptSacn(from.address, packet.data, BridgeClock::now()));
            break;
        case SacnPacket::Kind::Other:
            ++counters_.ignored;
            break;
        case SacnPacket::Kind::Bad:
            ++counters_.bad;
            break;
    }
}

void BridgeRuntime::count(SourceMerge::Verdict verdict) {
    switch (verdict) {
        case SourceMerge::Verdict::Applied:
            // Every change reaches the scheduler, which counts the levels it never got to send.
            if (merge_.hasLevels()) {
                scheduler_.want(merge_.levels());
            }
            break;
        case SourceMerge::Verdict::OtherUniverse:
            ++counters_.otherUniverse;
            break;
        case SourceMerge::Verdict::OutOfOrder:
            ++counters_.outOfOrder;
            break;
        case SourceMerge::Verdict::Ignored:
            ++counters_.ignored;
            break;
        case SourceMerge::Verdict::WrongAddress:
            ++counters_.wrongAddress;
            break;
        case SourceMerge::Verdict::AddressFull:
            ++counters_.turnedAwayAddress;
            break;
        case SourceMerge::Verdict::TableFull:
            ++counters_.turnedAwayTableFull;
            break;
    }
}

void BridgeRuntime::answerPoll(const UdpEndpoint& from) {
    if (!pollLimit_.allow(from.address, BridgeClock::now())) {
        return;
    }
    ++pollReplies_;

    const std::uint32_t address =
        options_.bindAddress != 0 ? options_.bindAddress : localAddressToward(from.address);
    const MergeSettings& merge = options_.merge;
    ArtPollReplyContent content;
    for (int i = 0; i < 4; ++i) {
        content.address[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
    }
    content.portAddress = merge.artNetPortAddress;
    content.shortName = "Lumenta bridge";
    content.longName =
        "Lumenta bridge on " + line_.name() + ": 24 channels from slot " + std::to_string(merge.firstSlot);
    char report[64];
    std::snprintf(report, sizeof report, "#0001 [%04u] %u sources, %llu frames sent",
                  static_cast<unsigned>(pollReplies_ % 10000), static_cast<unsigned>(merge_.sourceCount()),
                  static_cast<unsigned long long>(scheduler_.framesSent()));
    content.nodeReport = report;
    content.outputting = merge_.sourceCount() > 0 && line_.isOpen();
    const std::vector<std::uint8_t> reply = buildArtPollReply(content);
    artNet_->sendTo(reply.data(), reply.size(), {from.address, kArtNetUdpPort});
}
