#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// The command-line syntax the Lumenta tools share. Options take their value as the next argument or
// after '=' (--level 128, --level=128); flags take none; each may be given once, but for the
// repeatable value options. -h stands for --help.
struct OptionNames {
    std::vector<std::string> valueOptions;       // --port, --level, ...
    std::vector<std::string> flagOptions;        // --list, --help, -h, ...
    std::vector<std::string> repeatableOptions;  // value options that may be given again and again
};

struct CommandLine {
    std::map<std::string, std::string> values;  // value options as given
    std::set<std::string> flags;
    std::map<std::string, std::vector<std::string>> repeated;  // every value, in the order given

    // The values given for a repeatable option; none when it was not given.
    std::vector<std::string> all(const std::string& name) const {
        const auto found = repeated.find(name);
        return found != repeated.end() ? found->second : std::vector<std::string>{};
    }

    bool has(const std::string& flag) const { return flags.count(flag) != 0; }
    // The value given for name, or null when the option was not given.
    const std::string* value(const std::string& name) const {
        const auto found = values.find(name);
        return found != values.end() ? &found->second : nullptr;
    }
    std::size_t size() const { return values.size() + flags.size() + repeated.size(); }
};

// True when -h or --help stands anywhere on the line: help is answered whatever else it holds.
bool asksForHelp(int argc, const char* const* argv);

// Sorts the arguments into values and flags. False with a one-line reason in error for an unknown
// option, a stray argument, a missing value (a following "--option" is not taken for one), a value
// given to a flag, or an option given twice.
bool splitArguments(int argc, const char* const* argv, const OptionNames& names, CommandLine& line,
                    std::string& error);

// Decimal digits only (no sign, no spaces, no hexadecimal), within lowest..highest.
bool parseNumber(const std::string& text, unsigned lowest, unsigned highest, unsigned& value);
