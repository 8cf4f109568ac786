#include "tools/send/send_options.h"

#include <cstring>
#include <map>
#include <set>

#include "serial/port_settings.h"

namespace {

const char* const kValueOptions[] = {"--port", "--channel", "--level", "--mode"};
const char* const kFlagOptions[] = {"--all", "--list", "--help", "-h", "--version"};

bool isValueOption(const std::string& name) {
    for (const char* option : kValueOptions) {
        if (name == option) {
            return true;
        }
    }
    return false;
}

bool isFlagOption(const std::string& name) {
    for (const char* option : kFlagOptions) {
        if (name == option) {
            return true;
        }
    }
    return false;
}

// Decimal digits only (no sign, no spaces, no hexadecimal), within lowest..highest.
bool parseNumber(const std::string& text, unsigned lowest, unsigned highest, unsigned& value) {
    if (text.empty()) {
        return false;
    }
    unsigned long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(c - '0');
        if (number > highest) {
            return false;
        }
    }
    if (number < lowest) {
        return false;
    }
    value = static_cast<unsigned>(number);
    return true;
}

struct CommandLine {
    std::map<std::string, std::string> values;  // value options as given
    std::set<std::string> flags;
};

bool splitArguments(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] != nullptr ? argv[i] : "";
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (const std::size_t eq = argument.find('=');
            argument.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = argument.substr(0, eq);
            value = argument.substr(eq + 1);
            hasValue = true;
        }
        if (isFlagOption(name)) {
            if (hasValue) {
                error = name + " takes no value";
                return false;
            }
            if (!line.flags.insert(name == "-h" ? "--help" : name).second) {
                error = name + " is given twice";
                return false;
            }
            continue;
        }
        if (!isValueOption(name)) {
            error = argument.rfind("-", 0) == 0 ? "unknown option " + argument
                                                : "unexpected argument '" + argument + "'";
            return false;
        }
        if (!hasValue) {
            // A following option is not taken for a value: "--port --level 3" lacks the port.
            if (i + 1 >= argc || argv[i + 1] == nullptr || std::strncmp(argv[i + 1], "--", 2) == 0) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!line.values.emplace(name, value).second) {
            error = name + " is given twice";
            return false;
        }
    }
    return true;
}

bool readSendRequest(const CommandLine& line, SendOptions& options, std::string& error) {
    const auto port = line.values.find("--port");
    if (port == line.values.end()) {
        error = "--port is missing (lumenta-send --list shows the ports)";
        return false;
    }
    if (port->second.empty()) {
        error = "--port needs a port name";
        return false;
    }
    if (port->second.size() >= kPortNameCapacity) {
        error = "the port name is longer than 255 characters";
        return false;
    }
    options.port = port->second;

    const auto channel = line.values.find("--channel");
    const bool all = line.flags.count("--all") != 0;
    if (channel != line.values.end() && all) {
        error = "give either --channel or --all, not both";
        return false;
    }
    if (channel == line.values.end() && !all) {
        error = "--channel N (1..24) or --all is missing";
        return false;
    }
    unsigned number = 0;
    if (all) {
        options.channel = 0;
    } else if (parseNumber(channel->second, 1, kDimmerChannelCount, number)) {
        options.channel = static_cast<std::uint8_t>(number);
    } else {
        error = "--channel must be a number from 1 to 24 (--all sets every channel), not '" +
                channel->second + "'";
        return false;
    }

    const auto level = line.values.find("--level");
    if (level == line.values.end()) {
        error = "--level N (0..255) is missing";
        return false;
    }
    if (!parseNumber(level->second, 0, 255, number)) {
        error = "--level must be a number from 0 to 255, not '" + level->second + "'";
        return false;
    }
    options.level = static_cast<std::uint8_t>(number);

    options.mode = DimmerMode::H;
    if (const auto mode = line.values.find("--mode"); mode != line.values.end()) {
        if (mode->second == "H" || mode->second == "h") {
            options.mode = DimmerMode::H;
        } else if (mode->second == "L" || mode->second == "l") {
            options.mode = DimmerMode::L;
        } else {
            error = "--mode must be H or L, not '" + mode->second + "'";
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseSendOptions(int argc, const char* const* argv, SendOptions& options, std::string& error) {
    options = SendOptions{};
    // A request for help is answered whatever else the line holds.
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
            options.action = SendOptions::Action::Help;
            return true;
        }
    }
    CommandLine line;
    if (!splitArguments(argc, argv, line, error)) {
        return false;
    }
    const bool list = line.flags.count("--list") != 0;
    const bool version = line.flags.count("--version") != 0;
    const std::size_t given = line.values.size() + line.flags.size();
    if (list || version) {
        if (given != 1) {
            error = std::string(list ? "--list" : "--version") + " takes no other options";
            return false;
        }
        options.action = list ? SendOptions::Action::List : SendOptions::Action::Version;
        return true;
    }
    if (given == 0) {
        error = "nothing to do";
        return false;
    }
    options.action = SendOptions::Action::Send;
    return readSendRequest(line, options, error);
}
