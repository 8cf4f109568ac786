// End-to-end timing of the Linux panel: the real window (offscreen), the real serial backend and the
// virtual dimmer on a pseudo-terminal. Each of 200 bursts moves the level slider a few times, less than
// the send delay apart; the figure is the time from the last move to the frame's arrival at the dimmer,
// and every burst must bring exactly one frame, carrying the last level.
// Run: QT_QPA_PLATFORM=offscreen build/linux/bench/panel_latency_bench [bursts]
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/dimmer_rig.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Arrival {
    Clock::time_point at;
    DimmerFrame frame;
};

void runEventsFor(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()));
    return values[index];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int bursts = argc > 1 ? std::atoi(argv[1]) : 200;
    DimmerRig rig("latency");
    VirtualDimmer* dimmer = rig.dimmer();
    if (dimmer == nullptr) {
        return 1;
    }
    QApplication app(argc, argv);
    std::vector<Arrival> arrivals;
    dimmer->onFrame([&](const DimmerFrame& frame) { arrivals.push_back({Clock::now(), frame}); });
    QSocketNotifier readable(dimmer->masterFd(), QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] { dimmer->readAvailable(); });

    int status = 0;
    {
        CLumentaDlg panel(rig.probe());
        panel.show();
        panel.portButton().click();
        if (!panel.port().isOpen()) {
            std::fprintf(stderr, "the panel could not open the virtual dimmer's port\n");
            return 1;
        }
        std::vector<double> latencies;
        int wrongCount = 0, wrongLevel = 0;
        std::srand(7);
        for (int burst = 0; burst < bursts; ++burst) {
            const std::size_t before = arrivals.size();
            const int moves = 2 + burst % 5;
            int level = 0;
            for (int move = 0; move < moves; ++move) {
                level = std::rand() % 256;
                // Consecutive bursts must differ, or a level equal to the slider's would move nothing.
                if (255 - level == panel.levelSlider().value()) {
                    level = (level + 1) % 256;
                }
                panel.levelSlider().setValue(255 - level);
                if (move + 1 < moves) {
                    runEventsFor(20 + std::rand() % 200);  // well inside the send delay
                }
            }
            const Clock::time_point lastChange = Clock::now();
            runEventsFor(450);
            const std::size_t got = arrivals.size() - before;
            if (got != 1) {
                ++wrongCount;
                continue;
            }
            const Arrival& a = arrivals.back();
            if (a.frame[3] != level) {
                ++wrongLevel;
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(a.at - lastChange).count());
        }
        panel.portButton().click();

        std::printf("panel -> virtual dimmer, %d bursts of 2..6 slider moves (send delay %u ms)\n", bursts,
                    PanelController::kSendDelayMs);
        if (!latencies.empty()) {
            std::printf("last change -> frame at the dimmer: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                        percentile(latencies, 0.50), percentile(latencies, 0.99), percentile(latencies, 1.0));
        }
        std::printf(
            "bursts with exactly one frame: %zu of %d; wrong level: %d; frames rejected by the dimmer: "
            "%llu\n",
            latencies.size(), bursts, wrongLevel, static_cast<unsigned long long>(dimmer->rejectedBytes()));
        status = (wrongCount == 0 && wrongLevel == 0) ? 0 : 1;
    }
    return status;
}
