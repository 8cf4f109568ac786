// lumenta-virtual-dimmer: the virtual dimmer in a terminal. Prints the accepted frames and the
// channel table, at a bounded rate (TerminalReport); ends on Ctrl-C or SIGTERM, however fast frames
// arrive, and removes its port.
#include <poll.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/virtual_port_dir.h"
#include "lumenta_identity.h"
#include "tools/virtual_dimmer/dimmer_options.h"
#include "tools/virtual_dimmer/terminal_report.h"
#include "tools/virtual_dimmer/termination_signals.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"

int main(int argc, char** argv) {
    DimmerOptions options;
    std::string error;
    if (!parseDimmerOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "lumenta-virtual-dimmer: %s\n%s", error.c_str(), dimmerUsage(argv[0]).c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(dimmerUsage(argv[0]).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", "lumenta-virtual-dimmer", LUMENTA_VERSION);
        return 0;
    }

    TerminationSignals termination;
    std::unique_ptr<VirtualDimmer> dimmer =
        VirtualDimmer::start(virtualPortDirectory(), options.portName, error);
    if (!dimmer) {
        std::fprintf(stderr, "lumenta-virtual-dimmer: %s\n", error.c_str());
        return 1;
    }
    if (options.printPort) {
        std::printf("pty=%s\nport=%s\nlink=%s\n", dimmer->ptyPath().c_str(), dimmer->port().name().c_str(),
                    dimmer->port().linkPath().c_str());
    }
    using Clock = TerminalReport::Clock;
    std::unique_ptr<TerminalReport> report;
    Clock::time_point passStart = Clock::now();
    if (!options.quiet) {
        std::printf("Virtual dimmer on port %s (%s)%s. Ctrl-C ends it.\n", dimmer->port().name().c_str(),
                    dimmer->ptyPath().c_str(),
                    dimmer->port().replacedStaleLink() ? ", replacing a stale link" : "");
        report = std::make_unique<TerminalReport>(
            [](const std::string& text) { std::fputs(text.c_str(), stdout); });
        dimmer->onFrame([&report, &passStart](const DimmerFrame& frame) { report->frame(frame, passStart); });
    }
    std::fflush(stdout);

    // Each pass reads a bounded amount, so the signal is seen within a pass however fast frames come.
    pollfd watched[2] = {{dimmer->masterFd(), POLLIN, 0}, {termination.fd(), POLLIN, 0}};
    while (termination.received() == 0) {
        if (termination.poll(watched, 2, report ? report->msUntilDue(Clock::now()) : -1) < 0) {
            continue;  // interrupted by a signal; the loop's condition decides
        }
        passStart = Clock::now();
        if ((watched[0].revents & POLLIN) != 0 && !dimmer->readAvailable()) {
            std::perror("lumenta-virtual-dimmer: reading the pseudo-terminal");
            return 1;
        }
        if (report) {
            report->tick(dimmer->channels(), Clock::now());
        }
        std::fflush(stdout);
    }
    const std::string linkPath = dimmer->port().linkPath();
    dimmer.reset();
    if (!options.quiet) {
        std::printf("Virtual dimmer ends; %s is removed.\n", linkPath.c_str());
    }
    return 0;
}
