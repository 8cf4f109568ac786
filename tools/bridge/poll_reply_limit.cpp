#include "tools/bridge/poll_reply_limit.h"

#include <algorithm>

bool PollReplyLimit::allow(std::uint32_t requester, BridgeClock::time_point now) {
    recent_.erase(std::remove_if(recent_.begin(), recent_.end(),
                                 [now](const Reply& r) { return now - r.at >= kPerRequester; }),
                  recent_.end());
    if (std::any_of(recent_.begin(), recent_.end(),
                    [requester](const Reply& r) { return r.requester == requester; })) {
        return false;
    }
    if (now - window_ >= std::chrono::seconds(1)) {
        window_ = now;
        inWindow_ = 0;
    }
    if (inWindow_ >= kPerSecond) {
        return false;
    }
    ++inWindow_;
    recent_.push_back({requester, now});
    return true;
}
