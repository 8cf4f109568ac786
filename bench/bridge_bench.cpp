// lumenta-bridge end to end: sACN datagrams to the bridge (a separate process, as it runs for users),
// frames at the virtual dimmer on a pseudo-terminal. Three runs:
//   latency    one channel changes, 200 times a second: packet sent to frame decoded, p50/p99/max
//   sustained  all 24 channels change at 44 Hz (a console's DMX rate) for 10 s: every update must
//              arrive whole, no frame may be older than one already shown (stale), and the time to
//              the last frame of an update must not grow (no queue)
//   overload   all 24 channels change at 200 Hz for 3 s, more than 115200 baud carries: levels in
//              between are dropped, none stale, and the last update arrives right after the last packet
//   refresh    a console repeats unchanged levels at 44 Hz for 10 s: the frames the bridge sends again
//              on its own, and their share of the line
//   flood      a console changes one channel at 44 Hz while another host (127.0.0.2) floods the
//              bridge with valid priority-0 sACN at rising rates: how many of the console's updates
//              reach the dimmer; then the same with the flooder left out by --allow
// Run: build/linux/bench/bridge_bench [latency samples] [bridge program, default the build's own]
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
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
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
const char* const kFlooderAddress = "127.0.0.2";

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

sockaddr_in endpoint(const char* address, std::uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    inet_pton(AF_INET, address, &in.sin_addr);
    return in;
}

// A console: sACN to the bridge, from a socket bound to from (any address when null).
class Sender {
public:
    explicit Sender(const char* from = nullptr)
        : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), to_(endpoint(kAddress, 5568)) {
        if (from != nullptr) {
            const sockaddr_in local = endpoint(from, 0);
            ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        }
    }
    ~Sender() { ::close(fd_); }
    dmx_packets::Bytes packet(const Levels& levels, unsigned priority = 100, std::uint8_t cid = 1) {
        dmx_packets::Sacn s;
        s.cidByte = cid;
        s.priority = priority;
        s.sequence = sequence_++;
        s.slots.assign(levels.begin(), levels.end());
        return dmx_packets::sacn(s);
    }
    void send(const Levels& levels) { send(packet(levels)); }
    bool send(const dmx_packets::Bytes& bytes) {
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to_),
                        sizeof to_) == static_cast<ssize_t>(bytes.size());
    }

private:
    int fd_;
    sockaddr_in to_;
    std::uint8_t sequence_ = 0;
};

// Another host sending valid priority-0 sACN at a rate (0: as fast as it can) until stopped.
class Flooder {
public:
    explicit Flooder(double perSecond) : thread_([this, perSecond] { run(perSecond); }) {}
    ~Flooder() {
        stop_ = true;
        thread_.join();
    }
    // Packets sent a second so far.
    double rate() const {
        return static_cast<double>(sent_) / std::chrono::duration<double>(Clock::now() - start_).count();
    }

private:
    void run(double perSecond) {
        Sender sender(kFlooderAddress);
        std::vector<dmx_packets::Bytes> packets;
        for (int i = 0; i < 256; ++i) {
            packets.push_back(sender.packet(Levels{}, 0, static_cast<std::uint8_t>(0x80 + i % 32)));
        }
        for (std::size_t i = 0; !stop_; ++i) {
            const double due = perSecond * std::chrono::duration<double>(Clock::now() - start_).count();
            if (perSecond > 0 && static_cast<double>(sent_) >= due) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            sent_ += sender.send(packets[i % packets.size()]) ? 1 : 0;
        }
    }

    const Clock::time_point start_ = Clock::now();
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::thread thread_;
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

pid_t startBridge(const std::string& exe, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{exe,      "--port", DimmerRig::kPortName, "--bind", kAddress,
                                  "--sacn", "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

bool stopBridge(pid_t bridge) {
    kill(bridge, SIGTERM);
    int status = 0;
    waitpid(bridge, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A console that repeats unchanged levels at 44 Hz: every frame is the bridge's own refresh.
void refreshRun(VirtualDimmer& dimmer, std::vector<Arrival>& arrivals, Sender& sender) {
    const Levels levels = update(7);
    sender.send(levels);
    pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(100));
    arrivals.clear();
    const auto start = Clock::now();
    for (int i = 0; i < 440; ++i) {
        pumpUntil(dimmer, start + i * std::chrono::microseconds(22727));
        sender.send(levels);
    }
    pumpUntil(dimmer, start + std::chrono::seconds(10));
    std::array<Clock::time_point, 24> last;
    last.fill(start);
    double longest = 0;
    for (const Arrival& a : arrivals) {
        const auto c = static_cast<std::size_t>(a.frame[1] - 1);
        longest = std::max(longest, ms(a.at - last[c]));
        last[c] = a.at;
    }
    for (const Clock::time_point at : last) {
        longest = std::max(longest, ms(start + std::chrono::seconds(10) - at));
    }
    const double perSecond = arrivals.size() / 10.0;
    std::printf("\nrefresh, a console repeating unchanged levels at 44 Hz for 10 s\n");
    std::printf("  %zu frames (%.1f a second), %.2f %% of the line; longest a channel went unsent %.0f ms\n",
                arrivals.size(), perSecond, 100 * perSecond * 60 / 115200, longest);
}

// The console changes one channel an update at 44 Hz for 3 s while flooders send at floodRate in all
// (0: as fast as they can; below 0: no flooder): the share of its updates whose frame reached the
// dimmer.
void floodRun(VirtualDimmer& dimmer, std::vector<Arrival>& arrivals, Sender& console, double floodRate,
              const char* what, int threads = 1) {
    Levels levels = update(3);
    console.send(levels);
    pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(200));
    std::vector<std::pair<int, int>> wanted;  // channel, level
    double rate = 0;
    {
        std::vector<std::unique_ptr<Flooder>> flooders;
        for (int i = 0; floodRate >= 0 && i < threads; ++i) {
            flooders.push_back(std::make_unique<Flooder>(floodRate / threads));
        }
        pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(300));
        arrivals.clear();
        const auto start = Clock::now();
        for (int k = 0; k < 132; ++k) {
            pumpUntil(dimmer, start + k * std::chrono::microseconds(22727));
            const auto c = static_cast<std::size_t>(k % 24);
            levels[c] = static_cast<std::uint8_t>(1 + (k * 37 + levels[c]) % 250);
            wanted.emplace_back(static_cast<int>(c + 1), levels[c]);
            console.send(levels);
        }
        for (const auto& flooder : flooders) {
            rate += flooder->rate();
        }
    }
    pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(300));
    int delivered = 0;
    for (const auto& [channel, level] : wanted) {
        delivered +=
            std::any_of(arrivals.begin(), arrivals.end(),
                        [&](const Arrival& a) { return a.frame[1] == channel && a.frame[3] == level; })
                ? 1
                : 0;
    }
    std::printf("  %-34s flood %7.0f packets/s: %3d of %zu console updates reached the dimmer\n", what, rate,
                delivered, wanted.size());
}

// The bridge stopped for 20 ms, as on a busy machine, while the flooder sends and the console sends one
// update in the middle, 15 times 200 ms apart: the update waits in the receive buffer, or is dropped
// when the flood has filled it. An update counts when its frame comes within 50 ms of its packet.
void stallRun(VirtualDimmer& dimmer, std::vector<Arrival>& arrivals, Sender& console, double floodRate,
              pid_t bridge) {
    Levels levels = update(5);
    console.send(levels);
    pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(200));
    Flooder flooder(floodRate);
    int delivered = 0;
    for (int k = 0; k < 15; ++k) {
        pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(160));
        arrivals.clear();
        kill(bridge, SIGSTOP);
        pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(10));
        const auto c = static_cast<std::size_t>(k % 24);
        levels[c] = static_cast<std::uint8_t>(1 + (k * 37 + levels[c]) % 250);
        const auto sent = Clock::now();
        console.send(levels);
        pumpUntil(dimmer, Clock::now() + std::chrono::milliseconds(10));
        kill(bridge, SIGCONT);
        pumpUntil(dimmer, sent + std::chrono::milliseconds(50));
        delivered += std::any_of(arrivals.begin(), arrivals.end(),
                                 [&](const Arrival& a) {
                                     return a.frame[1] == static_cast<int>(c + 1) && a.frame[3] == levels[c];
                                 })
                         ? 1
                         : 0;
    }
    std::printf("  %-34s flood %7.0f packets/s: %3d of 15 console updates reached the dimmer\n",
                "bridge stopped 20 ms each time,", flooder.rate(), delivered);
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
    const std::string exe = argc > 2 ? argv[2] : LUMENTA_BRIDGE_EXE;
    pid_t bridge = startBridge(exe);
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
    refreshRun(*dimmer, arrivals, sender);

    std::printf("\nflood, from %s, while a console at %s changes one channel at 44 Hz\n", kFlooderAddress,
                kAddress);
    for (const double rate : {0.0, 50000.0, 100000.0, 200000.0, 300000.0, 400000.0}) {
        floodRun(*dimmer, arrivals, sender, rate > 0 ? rate : -1, rate > 0 ? "" : "(no flood)");
    }
    floodRun(*dimmer, arrivals, sender, 0, "as fast as one thread sends");
    floodRun(*dimmer, arrivals, sender, 0, "as fast as two threads send", 2);
    for (const double rate : {20000.0, 50000.0, 100000.0, 200000.0, 400000.0}) {
        stallRun(*dimmer, arrivals, sender, rate, bridge);
    }
    bool stopped = stopBridge(bridge);
    bridge = startBridge(exe, {"--allow", std::string(kAddress) + "/32"});
    for (int i = 0; i < 200 && arrivals.empty(); ++i) {
        arrivals.clear();
        sender.send(update(i));
        pumpUntil(*dimmer, Clock::now() + std::chrono::milliseconds(20));
    }
    floodRun(*dimmer, arrivals, sender, 300000, "--allow leaves the flooder out,");
    floodRun(*dimmer, arrivals, sender, 0, "--allow, as fast as one thread sends");
    floodRun(*dimmer, arrivals, sender, 0, "--allow, as fast as two threads send", 2);
    stopped = stopBridge(bridge) && stopped;
    return stopped ? 0 : 1;
}
