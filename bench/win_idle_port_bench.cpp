// What an open but quiet port costs the Windows build: the processor time of this whole process while
// one port, tuned as the panel tunes it (delay 0, threshold 1, or the threshold given), stays open
// and nothing arrives. Under Wine a pseudo-terminal's device wait fails at once, so this is the cost
// of the receive thread's fallback.
// Run (inside the Wine test session, which connects COM5 to the null modem):
//   tests/support/wine/wine-session wine build/windows/bench/win_idle_port_bench.exe [seconds] [threshold]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "serial/port_facade.h"

namespace {

double processCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const unsigned int threshold = argc > 2 ? static_cast<unsigned int>(std::atoi(argv[2])) : 1;
    CSerialPortFacade port;
    port.port()->setReadThreshold(threshold);
    port.init("COM5", 115200, 0, 8, 0, 0, 4096);
    if (!port.open()) {
        std::fprintf(stderr, "cannot open COM5: %s\n", port.port()->lastStatusMessage());
        return 1;
    }
    Sleep(500);  // let the receive thread settle
    const double before = processCpuMs();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double spent = processCpuMs() - before;
    std::printf("port open and quiet for %d s, threshold %u: %.0f ms of CPU (%.2f %% of one core)\n", seconds,
                threshold, spent, spent / (seconds * 10.0));
    port.close();
    return 0;
}
