#include "tools/cli/common_options.h"

#include "serial/port_settings.h"

bool readPortOption(const CommandLine& line, const std::string& program, std::string& port,
                    std::string& error) {
    const std::string* given = line.value("--port");
    if (given == nullptr) {
        error = "--port is missing (" + program + " --list shows the ports)";
        return false;
    }
    if (given->empty()) {
        error = "--port needs a port name";
        return false;
    }
    if (given->size() >= kPortNameCapacity) {
        error = "the port name is longer than 255 characters";
        return false;
    }
    port = *given;
    return true;
}

bool readModeOption(const CommandLine& line, DimmerMode& mode, std::string& error) {
    mode = DimmerMode::H;
    const std::string* given = line.value("--mode");
    if (given == nullptr || *given == "H" || *given == "h") {
        return true;
    }
    if (*given == "L" || *given == "l") {
        mode = DimmerMode::L;
        return true;
    }
    error = "--mode must be H or L, not '" + *given + "'";
    return false;
}

bool readStandaloneFlag(const CommandLine& line, std::string& which, std::string& error) {
    which.clear();
    for (const char* flag : {"--list", "--version"}) {
        if (line.has(flag)) {
            which = flag;
        }
    }
    if (!which.empty() && line.size() != 1) {
        error = which + " takes no other options";
        return false;
    }
    return true;
}
