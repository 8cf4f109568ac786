// How fast the virtual dimmer ends on SIGTERM while a writer floods its port with valid frames, and
// how much the terminal front end prints meanwhile. Each run starts a dimmer, floods it for a while
// from a thread, sends SIGTERM and times the exit. Usage: dimmer_flood_bench [RUNS] [FLOOD_MS]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "control/dimmer_frame.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double exitMs = -1;           // SIGTERM to the end of the process
    double printedPerSecond = 0;  // bytes on standard output per second of flood
};

// One dimmer, flooded for floodMs, then SIGTERM. exe is either front end.
Run floodOnce(const std::string& exe, const std::string& portDir, int floodMs) {
    Run run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    setenv("LUMENTA_PORT_DIR", portDir.c_str(), 1);
    std::string program = exe;
    char name[] = "--name";
    char port[] = "flood0";
    char print[] = "--print-port";
    char* argv[] = {program.data(), name, port, print, nullptr};
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (!spawned) {
        close(out[0]);
        return run;
    }
    std::atomic<long long> printed{0};
    std::thread reader([&] {
        char chunk[65536];
        for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) > 0;) {
            printed += got;
        }
    });
    const std::string link = portDir + "/flood0";
    int writer = -1;
    for (int i = 0; i < 500 && writer < 0; ++i) {
        writer = open(link.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (writer < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        std::string frames;
        for (int i = 0; i < 1000; ++i) {
            const DimmerFrame frame =
                buildDimmerFrame(static_cast<std::uint8_t>(i % 25), 0, static_cast<std::uint8_t>(i));
            frames.append(frame.begin(), frame.end());
        }
        while (!stop && write(writer, frames.data(), frames.size()) > 0) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(floodMs));
    const long long printedBefore = printed;
    const auto sent = Clock::now();
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (Clock::now() - sent > std::chrono::seconds(30)) {
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    run.exitMs = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    run.printedPerSecond = printedBefore * 1000.0 / floodMs;
    stop = true;
    flood.join();
    close(writer);
    reader.join();
    close(out[0]);
    return run;
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int floodMs = argc > 2 ? std::max(100, std::atoi(argv[2])) : 1000;
    char pattern[] = "/tmp/lumenta-flood-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::vector<std::pair<const char*, std::string>> frontEnds = {{"terminal", LUMENTA_VIRTUAL_DIMMER_EXE}};
#ifdef LUMENTA_VIRTUAL_DIMMER_WINDOW_EXE
    frontEnds.emplace_back("window", LUMENTA_VIRTUAL_DIMMER_WINDOW_EXE);
#endif
    std::printf("SIGTERM under a flood of valid frames: %d runs per front end, %d ms of flood each\n", runs,
                floodMs);
    for (const auto& [label, exe] : frontEnds) {
        std::vector<double> exits;
        std::vector<double> printed;
        for (int i = 0; i < runs; ++i) {
            const Run run = floodOnce(exe, pattern, floodMs);
            exits.push_back(run.exitMs);
            printed.push_back(run.printedPerSecond);
        }
        std::printf(
            "%-8s  exit after SIGTERM: median %.1f ms, p90 %.1f ms, max %.1f ms; printed %.0f KiB/s "
            "(median)\n",
            label, percentile(exits, 0.5), percentile(exits, 0.9), percentile(exits, 1.0),
            percentile(printed, 0.5) / 1024);
    }
    std::filesystem::remove_all(pattern);
    return 0;
}
