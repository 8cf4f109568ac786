#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_facade.h"
#include "tools/bridge/bridge_options.h"
#include "tools/bridge/bridge_status.h"
#include "tools/bridge/frame_scheduler.h"
#include "tools/bridge/poll_reply_limit.h"
#include "tools/bridge/source_merge.h"
#include "tools/bridge/udp_socket.h"

// The bridge at work, on one thread: takes every datagram that waits from the senders the options
// allow, lets the sources decide the levels, writes the next frame the line has room for, answers
// ArtPoll, shows the status, and sleeps until the next datagram, the line's room, a refresh, a
// source's loss, a status update or a request to stop.
class BridgeRuntime {
public:
    // The sockets are those of the protocols the options take (a null one is not listened on); the
    // port is open on the dimmer's line and is written to only by the runtime.
    BridgeRuntime(const BridgeOptions& options, const std::string& portName, CSerialPortFacade& port,
                  std::unique_ptr<UdpSocket> artNet, std::unique_ptr<UdpSocket> sacn);

    enum class Outcome { Stopped, WriteFailed };
    // Runs until stop is requested or the port fails a write.
    Outcome run(StopRequest& stop, StatusDisplay& display);

    BridgeCounters counters() const;

private:
    void takeDatagrams(UdpSocket& socket, bool artNet);
    void takeArtNet(const std::uint8_t* data, std::size_t size, const UdpEndpoint& from);
    void takeSacn(const std::uint8_t* data, std::size_t size, const UdpEndpoint& from);
    void count(SourceMerge::Verdict verdict);
    void answerPoll(const UdpEndpoint& from);

    BridgeOptions options_;
    std::string portName_;
    CSerialPortFacade& port_;
    std::unique_ptr<UdpSocket> artNet_;
    std::unique_ptr<UdpSocket> sacn_;
    std::vector<UdpSocket*> sockets_;
    SourceMerge merge_;
    FrameScheduler scheduler_;
    BridgeCounters counters_;
    std::uint32_t pollReplies_ = 0;
    PollReplyLimit pollLimit_;
};
