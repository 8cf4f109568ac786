// lumenta-bridge end to end: sACN datagrams to the bridge (a separate process, as it runs for users),
// frames at the virtual dimmer on a pseudo-terminal. Three runs:
//   latency    one channel changes, 200 times a second: packet sent to frame decoded, p50/p99/max
//   sustained  all 24 channels change at 44 Hz (a console's DMX rate) for 10 s: every update must
//              arrive whole, no frame may be older than one already shown (stale), and the time to
//              the last frame of an update must not grow (no queue)
//   overload   all 24 channels change at 200 Hz for 3 s, more than 115200 baud carries: levels in
//              between are dropped, none stale, and the last update arrives right after the last packet
// Run: build/linux/bench/bridge_bench [latency samples]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/dimmer_rig.h"
#include "tests/tools/bridge/dmx_packets.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Levels = std::array<std::uint8_t, 24>;

const char* const kAddress = "127.0.0.1";

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class Sender {
public:
    Sender() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        to_.sin_family = AF_INET;
        to_.sin_port = htons(5568);
        inet_pton(AF_INET, kAddress, &to_.sin_addr);
    }
    ~Sender() { ::close(fd_); }
    void send(const Levels& levels) {
        dmx_packets::Sacn s;
        s.sequence = sequence_++;
        s.slots.assign(levels.begin(), levels.end());
        const dmx_packets::Bytes bytes = dmx_packets::sacn(s);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
    }

private:
    int fd_;
    sockaddr_in to_{};
    std::uint8_t sequence_ = 0;
};

struct Arrival {
    Clock::time_point at;
    DimmerFrame frame;
};

// Reads what reaches the dimmer until the deadline.
void pumpUntil(VirtualDimmer& dimmer, Clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return;
        }
        pollfd watched{dimmer.masterFd(), POLLIN, 0};
        const int waitMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        if (poll(&watched, 1, waitMs) > 0) {
            dimmer.readAvailable();
        }
    }
}

Levels levelsOf(const VirtualDimmer& dimmer) {
    Levels levels{};
    for (int c = 1; c <= 24; ++c) {
        levels[static_cast<std::size_t>(c - 1)] = dimmer.channels().channel(c).level;
    }
    return levels;
}

// Update k sets channel c to (k + 10 c) mod 200: different on every channel and in every update, and
// the same again only 200 updates later, so a frame tells which update it came from.
Levels update(int k) {
    Levels levels{};
    for (std::size_t c = 0; c < levels.size(); ++c) {
        levels[c] = static_cast<std::uint8_t>((k + 10 * static_cast<int>(c)) % 200);
    }
    return levels;
}

// The latest update up to `newest` whose level for the channel is the frame's; -1 when none is.
int updateOfFrame(const DimmerFrame& frame, int newest) {
    const int c = frame[1] - 1;
    for (int k = newest; k >= 0 && k > newest - 200; --k) {
        if (update(k)[static_cast<std::size_t>(c)] == frame[3]) {
            return k;
        }
    }
    return -1;
}

struct StreamFigures {
    int updates = 0;
    std::size_t frames = 0;
    int stale = 0;                     // frames older than a frame already shown on their channel
    int complete = 0;                  // updates that the dimmer showed whole
    std::vector<double> completionMs;  // packet sent to the last frame of its update, per complete update
    double finalMs = 0;                // last packet sent to the dimmer showing it whole
};

// Sends `count` updates `period` apart, all 24 channels changing, and checks every frame.
StreamFigures stream(VirtualDimmer& dimmer, std::vector<Arrival>& arrivals, Sender& sender, int first,
                     int count, Clock::duration period) {
    StreamFigures figures;
    figures.updates = count;
    arrivals.clear();
    std::vector<Clock::time_point> sentAt;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        pumpUntil(dimmer, start + i * period);
        sentAt.push_back(Clock::now());
        sender.send(update(first + i));
    }
    const auto lastSent = sentAt.back();
    const Levels last = update(first + count - 1);
    while (levelsOf(dimmer) != last && Clock::now() - lastSent < std::chrono::seconds(2)) {
        pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(1));
    }
    figures.finalMs = ms(Clock::now() - lastSent);
    pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(50));
    figures.frames = arrivals.size();

    // Which update each frame came from, and when each update was shown whole.
    std::array<int, 24> shown;
    shown.fill(first - 1);
    std::vector<int> missing(static_cast<std::size_t>(count), 24);
    for (const Arrival& a : arrivals) {
        const int c = a.frame[1] - 1;
        const auto sentBefore = std::upper_bound(sentAt.begin(), sentAt.end(), a.at) - sentAt.begin();
        const int k = c >= 0 ? updateOfFrame(a.frame, first + static_cast<int>(sentBefore) - 1) : -1;
        if (k < shown[static_cast<std::size_t>(c)]) {
            ++figures.stale;
            continue;
        }
        shown[static_cast<std::size_t>(c)] = k;
        const int index = k - first;
        if (index >= 0 && --missing[static_cast<std::size_t>(index)] == 0) {
            ++figures.complete;
            figures.completionMs.push_back(ms(a.at - sentAt[static_cast<std::size_t>(index)]));
        }
    }
    return figures;
}

pid_t startBridge(const std::string& exe) {
    std::vector<std::string> args{exe,      "--port", DimmerRig::kPortName, "--bind", kAddress,
                                  "--sacn", "--quiet"};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::atoi(argv[1]) : 1000;
    DimmerRig rig("bridge-bench");
    VirtualDimmer* dimmer = rig.dimmer();
    if (dimmer == nullptr) {
        return 1;
    }
    std::vector<Arrival> arrivals;
    dimmer->onFrame([&](const DimmerFrame& frame) { arrivals.push_back({Clock::now(), frame}); });
    const pid_t bridge = startBridge(LUMENTA_BRIDGE_EXE);
    if (bridge < 0) {
        std::fprintf(stderr, "cannot start %s\n", LUMENTA_BRIDGE_EXE);
        return 1;
    }
    Sender sender;
    // Until the bridge listens: all channels to 0, again and again.
    Levels levels{};
    for (int i = 0; i < 200 && arrivals.empty(); ++i) {
        sender.send(levels);
        pumpUntil(*dimmer, Clock::now() + std::chrono::milliseconds(20));
    }
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("lumenta-bridge, sACN to 127.0.0.1 -> frames at the virtual dimmer; load %.2f\n", load[0]);

    // Latency: one channel at a time, 5 ms apart.
    std::vector<double> latency;
    int lost = 0;
    for (int i = 0; i < samples; ++i) {
        const std::size_t c = static_cast<std::size_t>(i % 24);
        levels[c] = static_cast<std::uint8_t>(levels[c] == 200 ? 1 : levels[c] + 1);
        arrivals.clear();
        const auto sent = Clock::now();
        sender.send(levels);
        const auto deadline = sent + std::chrono::milliseconds(5);
        while (arrivals.empty() && Clock::now() < sent + std::chrono::milliseconds(100)) {
            pumpUntil(*dimmer, Clock::now() + std::chrono::microseconds(100));
        }
        if (arrivals.empty() || arrivals[0].frame[1] != c + 1 || arrivals[0].frame[3] != levels[c]) {
            ++lost;
        } else {
            latency.push_back(ms(arrivals[0].at - sent));
        }
        pumpUntil(*dimmer, deadline);
    }
    std::printf("\nlatency, one channel changing, %d packets 5 ms apart\n", samples);
    std::printf("  packet to frame: p50 %.3f ms, p99 %.3f ms, max %.3f ms; %d without their frame\n",
                percentile(latency, 0.5), percentile(latency, 0.99), percentile(latency, 1.0), lost);

    const struct {
        const char* name;
        int count;
        Clock::duration period;
    } runs[] = {{"sustained, 24 channels changing at 44 Hz for 10 s", 440, std::chrono::microseconds(22727)},
                {"overload, 24 channels changing at 200 Hz for 3 s", 600, std::chrono::milliseconds(5)}};
    int first = 1000;
    for (const auto& run : runs) {
        const StreamFigures f = stream(*dimmer, arrivals, sender, first, run.count, run.period);
        first += run.count + 300;
        std::vector<double> early(f.completionMs.begin(),
                                  f.completionMs.begin() + f.completionMs.size() / 10);
        std::vector<double> late(f.completionMs.end() - f.completionMs.size() / 10, f.completionMs.end());
        const double seconds = run.count * std::chrono::duration<double>(run.period).count();
        std::printf("\n%s\n", run.name);
        std::printf("  %d updates sent, %d shown whole, %zu frames (%.0f a second), %d stale\n", f.updates,
                    f.complete, f.frames, f.frames / seconds, f.stale);
        std::printf("  packet to the last frame of its update: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    percentile(f.completionMs, 0.5), percentile(f.completionMs, 0.99),
                    percentile(f.completionMs, 1.0));
        std::printf(
            "  first tenth p50 %.2f ms, last tenth p50 %.2f ms; last packet to its update shown: %.2f ms\n",
            percentile(early, 0.5), percentile(late, 0.5), f.finalMs);
    }
    kill(bridge, SIGTERM);
    int status = 0;
    waitpid(bridge, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
