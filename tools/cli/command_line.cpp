#include "tools/cli/command_line.h"

#include <algorithm>
#include <cstring>

namespace {

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

bool asksForHelp(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
            return true;
        }
    }
    return false;
}

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

bool splitArguments(int argc, const char* const* argv, const OptionNames& names, CommandLine& line,
                    std::string& error) {
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
        if (contains(names.flagOptions, name)) {
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
        const bool repeatable = contains(names.repeatableOptions, name);
        if (!repeatable && !contains(names.valueOptions, name)) {
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
        if (repeatable) {
            line.repeated[name].push_back(value);
            continue;
        }
        if (!line.values.emplace(name, value).second) {
            error = name + " is given twice";
            return false;
        }
    }
    return true;
}
