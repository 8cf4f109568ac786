#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/bridge/bridge_options.h"
#include "tools/bridge/bridge_status.h"
#include "tools/bridge/dimmer_line.h"
#include "tools/bridge/frame_scheduler.h"
#include "tools/bridge/poll_reply_limit.h"
#include "tools/bridge/source_merge.h"
#include "tools/bridge/udp_socket.h"

// The bridge at work, on one thread: takes every datagram that waits from the senders the options
// allow, lets the sources decide the levels, writes the next frame the line has room for, answers
// ArtPoll, shows the status, and sleeps until the next datagram, the line's room, a refresh, a
// source's loss, a status update, a look at the port or a request to stop.
//
// When the port goes away the bridge says so on messages and keeps listening; it opens the port again
// as soon as the system lists it, and sends every channel's level at once. With --on-port-loss exit
// it ends instead.
class BridgeRuntime {
public:
    // How often the port is looked at: whether it is still there, or back.
    static constexpr BridgeClock::duration kPortCheck = std::chrono::milliseconds(500);

    // The sockets are those of the protocols the options take (a null one is not listened on); the
    // line's port is open and is written to only by the runtime.
    BridgeRuntime(const BridgeOptions& options, DimmerLine& line, std::unique_ptr<UdpSocket> artNet,
                  std::unique_ptr<UdpSocket> sacn, std::FILE* messages);

    enum class Outcome { Stopped, PortLost };
    // Runs until stop is requested, or the port is lost with --on-port-loss exit.
    Outcome run(StopRequest& stop, StatusDisplay& display);

    BridgeCounters counters() const;

private:
    void takeDatagrams(UdpSocket& socket, bool artNet);
    void takeArtNet(const std::uint8_t* data, std::size_t size, const UdpEndpoint& from);
    void takeSacn(const std::uint8_t* data, std::size_t size, const UdpEndpoint& from);
    void count(SourceMerge::Verdict verdict);
    void answerPoll(const UdpEndpoint& from);
    // Watches the port, and while it is gone tries to open it again. False when the bridge is to end.
    bool keepPort(BridgeClock::time_point now, StatusDisplay& display);
    void tell(const std::string& message, StatusDisplay& display);

    BridgeOptions options_;
    DimmerLine& line_;
    std::unique_ptr<UdpSocket> artNet_;
    std::unique_ptr<UdpSocket> sacn_;
    std::vector<UdpSocket*> sockets_;
    std::FILE* messages_;
    SourceMerge merge_;
    FrameScheduler scheduler_;
    BridgeCounters counters_;
    std::uint32_t pollReplies_ = 0;
    PollReplyLimit pollLimit_;
    BridgeClock::time_point portCheckAt_{};
    std::string reopenFailure_;  // the last reason the port did not open again, told once
};
