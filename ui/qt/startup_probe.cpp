#include "ui/qt/startup_probe.h"

#include <sys/resource.h>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

// The wall clock, as `date +%s%N` gives it to the script that starts the program.
long long wallClockNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Processor time spent so far, user and system: unlike the wall clock, hardly moved by other load.
double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

long peakRssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

}  // namespace

StartupProbe::StartupProbe(QWidget& window) : window_(window) {
    if (const char* start = std::getenv("LUMENTA_STARTUP_T0"); start != nullptr && *start != '\0') {
        startNs_ = std::atoll(start);
        window_.installEventFilter(this);
    }
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event) {
    // The first paint after the window was mapped is what the user first sees.
    if (watched == &window_ && event->type() == QEvent::Paint && startNs_ >= 0 && window_.windowHandle() &&
        window_.windowHandle()->isExposed()) {
        const double shownMs = static_cast<double>(wallClockNs() - startNs_) / 1e6;
        std::fprintf(stderr, "lumenta-startup shown_ms=%.1f cpu_ms=%.1f peak_rss_kb=%ld\n", shownMs, cpuMs(),
                     peakRssKb());
        startNs_ = -1;
        window_.removeEventFilter(this);
        QTimer::singleShot(0, &window_, [this] { window_.close(); });
    }
    return false;
}
