// serial_bench: our serial port beside raw termios, standalone asio and Qt's QSerialPort, each on the
// slave side of a fresh pseudo-terminal, in one run.
//
//   throughput  MiB/s for 64 MiB sent by a separate process into the master side;
//   CPU / MiB   user + system time of this process (the receiving side only) per MiB;
//   round trip  one byte written to the master, echoed by the peer from its receive path, read back:
//               p50 and p99 over 2,000 round trips after 200 to warm up.
// Each figure is the median of several runs; peers take turns within each run.
//
// Usage: serial_bench [runs] [MiB] [peer]   (defaults 5, 64 and all four; peers: a comma-separated choice of
// ours, raw, asio, qt)
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "peer.h"
#include "pty_line.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUpTrips = 200;
constexpr int kMeasuredTrips = 2000;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct Figures {
    std::vector<double> mibPerSecond;
    std::vector<double> cpuMsPerMib;
    std::vector<double> p50Us;
    std::vector<double> p99Us;
    int failures = 0;
};

bool measureThroughput(Peer& peer, std::size_t mib, Figures& figures) {
    PtyLine line;
    const std::size_t total = mib << 20;
    SenderProcess sender(line.master(), total);
    if (!line.isValid() || !sender.isValid()) {
        return false;
    }
    Clock::time_point start;
    double cpuStart = 0;
    const bool received = peer.receive(line.slavePath(), total, [&] {
        cpuStart = cpuSeconds();
        start = Clock::now();
        sender.start();
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    if (!sender.finish() || !received) {
        return false;
    }
    figures.mibPerSecond.push_back(static_cast<double>(mib) / seconds);
    figures.cpuMsPerMib.push_back(cpu * 1000 / static_cast<double>(mib));
    return true;
}

// The driver on the master side: one byte out, wait for it to come back.
bool driveRoundTrips(int master, std::vector<double>& microseconds) {
    for (int trip = 0; trip < kWarmUpTrips + kMeasuredTrips; ++trip) {
        const char out = static_cast<char>(trip);
        const Clock::time_point start = Clock::now();
        if (::write(master, &out, 1) != 1) {
            return false;
        }
        pollfd watch{master, POLLIN, 0};
        if (poll(&watch, 1, 2000) != 1) {
            return false;
        }
        char back = 0;
        if (::read(master, &back, 1) != 1 || back != out) {
            return false;
        }
        if (trip >= kWarmUpTrips) {
            microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    return true;
}

bool measureLatency(Peer& peer, Figures& figures) {
    PtyLine line;
    if (!line.isValid()) {
        return false;
    }
    Completion done;
    std::vector<double> trips;
    std::atomic<bool> driven{false};
    std::thread driver;
    const bool opened = peer.echo(
        line.slavePath(),
        [&] {
            driver = std::thread([&] {
                driven = driveRoundTrips(line.master(), trips);
                done.finish();
            });
        },
        done);
    if (driver.joinable()) {
        driver.join();
    }
    if (!opened || !driven) {
        return false;
    }
    figures.p50Us.push_back(percentile(trips, 0.50));
    figures.p99Us.push_back(percentile(trips, 0.99));
    return true;
}

// The machine's load average over the last minute: the peers share the CPUs with whatever else runs.
std::string loadAverage() {
    char text[64] = {};
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fgets(text, sizeof text, file) == nullptr) {
            text[0] = '\0';
        }
        std::fclose(file);
    }
    std::string all = text;
    return all.substr(0, all.find(' '));
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::size_t mib = argc > 2 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[2]))) : 64;

    std::vector<std::unique_ptr<Peer>> peers;
    peers.push_back(makeOurPortPeer());
    peers.push_back(makeRawTermiosPeer());
    peers.push_back(makeAsioPeer());
    peers.push_back(makeQtPeer(argc, argv));
    std::vector<Figures> figures(peers.size());
    const std::string loadBefore = loadAverage();
    const std::string only = argc > 3 ? argv[3] : "";
    const char* keys[] = {"ours", "raw", "asio", "qt"};

    for (int run = 0; run < runs; ++run) {
        for (std::size_t i = 0; i < peers.size(); ++i) {
            if (!only.empty() &&
                ("," + only + ",").find(std::string(",") + keys[i] + ",") == std::string::npos) {
                continue;
            }
            if (!measureThroughput(*peers[i], mib, figures[i]) || !measureLatency(*peers[i], figures[i])) {
                ++figures[i].failures;
            }
        }
        std::fprintf(stderr, "run %d of %d done\n", run + 1, runs);
    }

    std::printf(
        "Serial benchmark: %d runs, %zu MiB each, medians; pseudo-terminal pairs, %ld CPUs, load %s -> "
        "%s\n\n",
        runs, mib, sysconf(_SC_NPROCESSORS_ONLN), loadBefore.c_str(), loadAverage().c_str());
    std::printf("| peer | throughput MiB/s | CPU ms per MiB | round trip p50 us | round trip p99 us |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (std::size_t i = 0; i < peers.size(); ++i) {
        const Figures& f = figures[i];
        std::printf("| %s | %.1f | %.2f | %.1f | %.1f |%s\n", peers[i]->name(), median(f.mibPerSecond),
                    median(f.cpuMsPerMib), median(f.p50Us), median(f.p99Us),
                    f.failures ? " (some runs failed)" : "");
    }
    const Figures& ours = figures[0];
    const Figures& raw = figures[1];
    const Figures& asio = figures[2];
    std::printf(
        "\nour port against raw termios: throughput %.2fx (target >= 0.90), CPU per MiB %.2fx (target <= "
        "1.10)\n",
        median(ours.mibPerSecond) / median(raw.mibPerSecond),
        median(ours.cpuMsPerMib) / median(raw.cpuMsPerMib));
    std::printf("our port against asio: round trip p50 %.2fx (target <= 1.00), p99 %.2fx (target <= 1.20)\n",
                median(ours.p50Us) / median(asio.p50Us), median(ours.p99Us) / median(asio.p99Us));
    return 0;
}
