#pragma once

#include <cstdint>
#include <vector>

#include "tools/bridge/dimmer_levels.h"

// Which ArtPolls get an ArtPollReply, which is far larger than the poll: one a requester each
// kPerRequester, and kPerSecond in all. A host that polls without pause then neither turns the bridge
// into an amplifier nor takes the replies that other consoles need to find it. Nothing here reads a
// clock: the caller passes the time.
class PollReplyLimit {
public:
    static constexpr BridgeClock::duration kPerRequester = std::chrono::milliseconds(500);
    static constexpr unsigned kPerSecond = 20;

    // Whether to answer a poll from requester now; an answer is counted against both limits.
    bool allow(std::uint32_t requester, BridgeClock::time_point now);

private:
    struct Reply {
        std::uint32_t requester;
        BridgeClock::time_point at;
    };
    std::vector<Reply> recent_;  // the replies of the last kPerRequester: few, as the total is capped
    BridgeClock::time_point window_{};
    unsigned inWindow_ = 0;
};
