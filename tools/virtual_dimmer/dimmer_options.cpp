#include "tools/virtual_dimmer/dimmer_options.h"

bool parseDimmerOptions(int argc, char** argv, DimmerOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-n" || arg == "--name") {
            if (i + 1 == argc) {
                error = arg + " needs a port name";
                return false;
            }
            options.portName = argv[++i];
        } else if (arg.rfind("--name=", 0) == 0) {
            options.portName = arg.substr(7);
        } else if (arg == "-p" || arg == "--print-port") {
            options.printPort = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

std::string dimmerUsage(const char* program) {
    return std::string("usage: ") + program +
           " [--name NAME] [--print-port] [--quiet] | --help | --version\n"
           "A virtual 24-channel dimmer on a pseudo-terminal, published as the serial port NAME\n"
           "(default vdimmer) so that the panel lists it.\n"
           "  -n, --name NAME     the port's name: letters, digits, '.', '_', '-'\n"
           "  -p, --print-port    print pty=PATH, port=NAME and link=PATH on start (for scripts;\n"
           "                      under Wine, map a COM port to the pty path)\n"
           "  -q, --quiet         print nothing but errors (and --print-port's lines)\n"
           "  -h, --help          print this help\n"
           "  --version           print the version\n"
           "Ends on Ctrl-C or SIGTERM and removes its port.\n";
}
