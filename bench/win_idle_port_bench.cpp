// What an open but quiet port costs the Windows build: the processor time of this whole process while
// one port, tuned as the panel tunes it (delay 0, threshold 1, or the threshold given), stays open
// and nothing arrives. Under Wine a pseudo-terminal's device wait fails at once, so this is the cost
// of the receive thread's fallback. With "lost", the session's null modem first pulls the port's end
// out, and the figure is what the port costs after its device has gone.
// Run (inside the Wine test session, which connects COM5 to the null modem):
//   tests/support/wine/wine-session wine build/windows/bench/win_idle_port_bench.exe [seconds] [threshold]
//   [lost]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port_facade.h"
#include "tests/support/null_modem_control.h"

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
    const bool lost = argc > 3 && std::strcmp(argv[3], "lost") == 0;
    CSerialPortFacade port;
    port.port()->setReadThreshold(threshold);
    port.init("COM5", 115200, 0, 8, 0, 0, 4096);
    if (!port.open()) {
        std::fprintf(stderr, "cannot open COM5: %s\n", port.port()->lastStatusMessage());
        return 1;
    }
    Sleep(500);  // let the receive thread settle
    if (lost) {
        if (!orderNullModem("hang up A")) {
            std::fprintf(stderr, "cannot reach the null modem's control pipe\n");
            return 1;
        }
        Sleep(1000);
    }
    const double before = processCpuMs();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double spent = processCpuMs() - before;
    std::printf("port %s for %d s, threshold %u: %.0f ms of CPU (%.2f %% of one core)%s\n",
                lost ? "with its device gone" : "open and quiet", seconds, threshold, spent,
                spent / (seconds * 10.0), lost && !port.isOpen() ? ", the port closed by itself" : "");
    port.close();
    return 0;
}
