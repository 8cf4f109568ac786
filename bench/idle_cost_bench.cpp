// What an open but quiet port costs: the context switches of every thread over a quiet spell, read
// from /proc. First the serial library alone (the receive thread should not wake at all), then the
// whole panel offscreen with its port open (it should wake only for its own timers).
// Run: build/linux/bench/idle_cost_bench [seconds]
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "bench/dimmer_rig.h"
#include "serial/port_facade.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

// Thread id -> (name, voluntary + involuntary context switches).
std::map<int, std::pair<std::string, long>> threadSwitches() {
    std::map<int, std::pair<std::string, long>> out;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        const int tid = std::atoi(entry.path().filename().c_str());
        std::ifstream status(entry.path() / "status");
        std::string line, name;
        long switches = 0;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0) {
                name = line.substr(6);
            } else if (line.find("ctxt_switches:") != std::string::npos) {
                switches += std::atol(line.substr(line.find(':') + 1).c_str());
            }
        }
        out[tid] = {name, switches};
    }
    return out;
}

void report(const char* what, const std::map<int, std::pair<std::string, long>>& before,
            const std::map<int, std::pair<std::string, long>>& after, int seconds) {
    std::printf("%s, %d s quiet:\n", what, seconds);
    for (const auto& [tid, info] : after) {
        const auto was = before.find(tid);
        const long woke = info.second - (was == before.end() ? 0 : was->second.second);
        std::printf("  thread %-7d %-16s %6ld wake-ups (%.1f/s)%s\n", tid, info.first.c_str(), woke,
                    double(woke) / seconds, tid == getpid() ? "  (main)" : "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    DimmerRig rig("idle");
    if (rig.dimmer() == nullptr) {
        return 1;
    }

    {
        CSerialPortFacade port;
        port.init(DimmerRig::kPortName, 115200, 0, 8, 0, 0, 4096);
        if (!port.open()) {
            std::fprintf(stderr, "cannot open the virtual dimmer's port\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the receive thread settle
        const auto before = threadSwitches();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        report("serial library, port open", before, threadSwitches(), seconds);
        port.close();
    }

    QApplication app(argc, argv);
    CLumentaDlg panel(rig.probe());
    panel.show();
    panel.portButton().click();
    if (!panel.port().isOpen()) {
        std::fprintf(stderr, "the panel could not open the port\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const auto before = threadSwitches();
    QEventLoop quiet;
    QTimer::singleShot(seconds * 1000, &quiet, &QEventLoop::quit);
    quiet.exec();
    report("panel (offscreen), port open, port list refreshed every 5 s", before, threadSwitches(), seconds);
    panel.portButton().click();
    return 0;
}
