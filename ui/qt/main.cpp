// lumenta: the dimmer control panel's Linux program.
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <memory>

#include "lumenta_identity.h"
#include "ui/qt/display_failure.h"
#include "ui/qt/lumenta_app.h"

namespace {

constexpr const char* kUsage =
    "usage: lumenta [--help | --version]\n"
    "The Lumenta panel: one window that sets the 24 channels of a light dimmer on a serial port.\n"
    "It takes no other options (Qt's own, such as -platform NAME, are passed on to Qt).\n"
    "  -h, --help   print this help\n"
    "  --version    print the version\n"
    "The user guide: \"User Guide\" in the window, or /usr/share/doc/lumenta/user-guide.html.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lumenta %s\n", LUMENTA_VERSION);
            return 0;
        }
    }
    std::unique_ptr<CLumentaApp> app;
    {
        const DisplayFailureReport report("lumenta");
        app = std::make_unique<CLumentaApp>(argc, argv);
    }
    // Qt has taken its own options off the line; anything left is unknown.
    const QStringList unknown = QCoreApplication::arguments().mid(1);
    if (!unknown.isEmpty()) {
        std::fprintf(stderr, "lumenta: unknown option %s\nTry 'lumenta --help'.\n",
                     qPrintable(unknown.front()));
        return 2;
    }
    return app->run();
}
