// lumenta-virtual-dimmer-window: the virtual dimmer with a window of 24 lamps. Same options as the
// terminal front end; ends when its window is closed, on Ctrl-C or SIGTERM, and removes its port.
#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

#include "common/virtual_port_dir.h"
#include "lumenta_identity.h"
#include "tools/virtual_dimmer/dimmer_options.h"
#include "tools/virtual_dimmer/termination_signals.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"
#include "tools/virtual_dimmer/window/dimmer_window.h"

int main(int argc, char** argv) {
    DimmerOptions options;
    std::string error;
    if (!parseDimmerOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "lumenta-virtual-dimmer-window: %s\n%s", error.c_str(),
                     dimmerUsage(argv[0]).c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(dimmerUsage(argv[0]).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", "lumenta-virtual-dimmer-window", LUMENTA_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    TerminationSignals termination;
    std::unique_ptr<VirtualDimmer> dimmer =
        VirtualDimmer::start(virtualPortDirectory(), options.portName, error);
    if (!dimmer) {
        std::fprintf(stderr, "lumenta-virtual-dimmer-window: %s\n", error.c_str());
        return 1;
    }
    if (options.printPort) {
        std::printf("pty=%s\nport=%s\nlink=%s\n", dimmer->ptyPath().c_str(), dimmer->port().name().c_str(),
                    dimmer->port().linkPath().c_str());
        std::fflush(stdout);
    }

    QSocketNotifier onSignal(termination.fd(), QSocketNotifier::Read);
    QObject::connect(&onSignal, &QSocketNotifier::activated, &app, &QApplication::quit);

    DimmerWindow window(*dimmer);
    window.show();
    return app.exec();
}
