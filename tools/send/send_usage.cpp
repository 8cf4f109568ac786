#include "tools/send/send_usage.h"

namespace {

// The port names, examples and permission hint of this platform only.
#ifdef _WIN32
constexpr const char* kPortOption = "  --port NAME     the serial port, as --list shows it (COM3)\n";
constexpr const char* kExamples =
    "  lumenta-send --port COM3 --channel 5 --level 128\n"
    "  lumenta-send --port COM3 --all --level 0 --mode L\n";
constexpr const char* kPermissionDenied = "  5  permission denied\n";
#else
constexpr const char* kPortOption =
    "  --port NAME     the serial port, as --list shows it (ttyUSB0, /dev/ttyUSB0 or a link\n"
    "                  to it such as /dev/serial/by-id/...)\n";
constexpr const char* kExamples =
    "  lumenta-send --port ttyUSB0 --channel 5 --level 128\n"
    "  lumenta-send --port /dev/serial/by-id/usb-FTDI_FT232R-if00-port0 --all --level 0 --mode L\n";
constexpr const char* kPermissionDenied = "  5  permission denied (join the port's group, usually dialout)\n";
#endif

}  // namespace

std::string sendUsage() {
    return "usage: lumenta-send --port NAME (--channel N | --all) --level N [--mode H|L]\n"
           "       lumenta-send --list | --help | --version\n"
           "\n"
           "Sends one command to a Lumenta 24-channel dimmer and exits: the port is opened at\n"
           "115200 baud, 8N1, no flow control, as the panel opens it, and one 6-byte frame is\n"
           "written. Every value is checked before the port is opened; on an error nothing is sent,\n"
           "unless writing itself fails (6).\n"
           "\n" +
           std::string(kPortOption) +
           "  --channel N     the channel to set, 1 to 24\n"
           "  --all           set every channel at once\n"
           "  --level N       the level, 0 to 255\n"
           "  --mode H|L      the mode, H (the default) or L\n"
           "  --list          print the serial ports the panel would list, one a line, with\n"
           "                  what each device is when the system tells\n"
           "  -h, --help      print this help\n"
           "  --version       print the version\n"
           "Options take their value as the next argument or after '=' (--level=128).\n"
           "\n"
           "Examples:\n" +
           kExamples +
           "\n"
           "Exit codes:\n"
           "  0  the frame was sent (or --list, --help, --version)\n"
           "  2  bad option or value\n"
           "  3  unknown port: no serial port of that name is listed, or its device has gone\n"
           "  4  the port is in use by another program\n" +
           kPermissionDenied +
           "  6  writing failed after the port opened: part of the frame may have left the port\n"
           "  7  the port could not be opened or set up for another reason\n";
}
