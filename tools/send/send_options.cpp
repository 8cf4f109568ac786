#include "tools/send/send_options.h"

#include "tools/cli/command_line.h"
#include "tools/cli/common_options.h"

namespace {

const OptionNames kSendOptionNames{
    {"--port", "--channel", "--level", "--mode"}, {"--all", "--list", "--help", "-h", "--version"}, {}};

bool readSendRequest(const CommandLine& line, SendOptions& options, std::string& error) {
    if (!readPortOption(line, "lumenta-send", options.port, error)) {
        return false;
    }

    const std::string* channel = line.value("--channel");
    const bool all = line.has("--all");
    if (channel != nullptr && all) {
        error = "give either --channel or --all, not both";
        return false;
    }
    if (channel == nullptr && !all) {
        error = "--channel N (1..24) or --all is missing";
        return false;
    }
    unsigned number = 0;
    if (all) {
        options.channel = 0;
    } else if (parseNumber(*channel, 1, kDimmerChannelCount, number)) {
        options.channel = static_cast<std::uint8_t>(number);
    } else {
        error = "--channel must be a number from 1 to 24 (--all sets every channel), not '" + *channel + "'";
        return false;
    }

    const std::string* level = line.value("--level");
    if (level == nullptr) {
        error = "--level N (0..255) is missing";
        return false;
    }
    if (!parseNumber(*level, 0, 255, number)) {
        error = "--level must be a number from 0 to 255, not '" + *level + "'";
        return false;
    }
    options.level = static_cast<std::uint8_t>(number);

    return readModeOption(line, options.mode, error);
}

}  // namespace

bool parseSendOptions(int argc, const char* const* argv, SendOptions& options, std::string& error) {
    options = SendOptions{};
    if (asksForHelp(argc, argv)) {
        options.action = SendOptions::Action::Help;
        return true;
    }
    CommandLine line;
    if (!splitArguments(argc, argv, kSendOptionNames, line, error)) {
        return false;
    }
    std::string standalone;
    if (!readStandaloneFlag(line, standalone, error)) {
        return false;
    }
    if (!standalone.empty()) {
        options.action = standalone == "--list" ? SendOptions::Action::List : SendOptions::Action::Version;
        return true;
    }
    if (line.size() == 0) {
        error = "nothing to do";
        return false;
    }
    options.action = SendOptions::Action::Send;
    return readSendRequest(line, options, error);
}
