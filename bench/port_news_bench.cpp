// How soon the Linux panel shows what happened to its ports: the real window (offscreen) with the
// system's probe on a port directory of its own, the real serial backend and the virtual dimmer.
// Each round starts a dimmer while the panel runs with nothing listed (time until its entry is in the
// list), opens it, ends the dimmer (time until the lost-port box shows), and waits a different part
// of the 5 s rescan period first each time, so that a panel which only polls shows its spread.
// Run: build/linux/bench/port_news_bench [rounds]
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/sysfs_port_probe.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds until done() holds, or -1 after limit.
double runUntil(const std::function<bool()>& done, int limit) {
    const Clock::time_point start = Clock::now();
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limit) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return done() ? std::chrono::duration<double, std::milli>(Clock::now() - start).count() : -1;
}

void print(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s", what);
    for (double value : ms) {
        std::printf(" %8.1f", value);
    }
    std::printf("  ms\n");
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lumenta-news-" + std::to_string(getpid()));
    const std::filesystem::path noTtys = dir / "no-ttys";
    std::filesystem::create_directories(dir / "ports");
    std::filesystem::create_directories(noTtys);
    setenv("LUMENTA_PORT_DIR", (dir / "ports").c_str(), 1);
    QApplication app(argc, argv);
    SysfsPortProbe probe(noTtys.string(), "/dev", (dir / "ports").string());

    std::vector<double> listed;
    std::vector<double> lost;
    for (int round = 0; round < rounds; ++round) {
        CLumentaDlg panel(probe);
        panel.show();
        const int phase = (round * 1700) % 5000;  // into the 5 s rescan period
        runUntil([] { return false; }, phase);
        const Clock::time_point started = Clock::now();
        std::string error;
        std::unique_ptr<VirtualDimmer> dimmer =
            VirtualDimmer::start((dir / "ports").string(), "news0", error);
        if (!dimmer) {
            std::fprintf(stderr, "cannot start the virtual dimmer: %s\n", error.c_str());
            return 1;
        }
        const double ms = runUntil([&] { return panel.findPortName("news0") >= 0; }, 7000);
        listed.push_back(ms < 0 ? ms
                                : std::chrono::duration<double, std::milli>(Clock::now() - started).count());

        panel.portButton().click();
        if (!panel.port().isOpen()) {
            std::fprintf(stderr, "the panel could not open the port\n");
            return 1;
        }
        runUntil([] { return false; }, (phase + 2300) % 5000);
        bool shown = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = true;
                box->close();
            }
        });
        closer.start(1);
        dimmer.reset();
        lost.push_back(runUntil([&] { return shown; }, 7000));
    }
    std::printf("%d rounds, sorted (-1: not within 7 s):\n", rounds);
    print("dimmer started -> listed", listed);
    print("dimmer ended -> lost-port box", lost);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
