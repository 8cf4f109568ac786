#include "tools/bridge/bridge_options.h"

#include <algorithm>

#include "tools/bridge/ipv4_address.h"
#include "tools/cli/command_line.h"
#include "tools/cli/common_options.h"

namespace {

constexpr unsigned kHighestFirstSlot = 512 - kDimmerChannelCount + 1;

const OptionNames kBridgeOptionNames{{"--port", "--universe", "--artnet-universe", "--address", "--mode",
                                      "--bind", "--on-loss", "--on-port-loss"},
                                     {"--artnet", "--sacn", "--sacn-multicast", "--exclusive", "--quiet",
                                      "--list", "--help", "-h", "--version"},
                                     {"--allow"}};

bool readArtNetUniverse(const std::string& text, ArtNetPortAddress& address) {
    unsigned parts[3] = {};
    if (text.find(':') != std::string::npos) {
        if (!parseNumberList(text, ':', {127, 15, 15}, parts)) {
            return false;
        }
        address.value = static_cast<std::uint16_t>((parts[0] << 8) | (parts[1] << 4) | parts[2]);
        return true;
    }
    if (!parseNumber(text, 0, kArtNetHighestPortAddress, parts[0])) {
        return false;
    }
    address.value = static_cast<std::uint16_t>(parts[0]);
    return true;
}

bool readNetworkOptions(const CommandLine& line, BridgeOptions& options, std::string& error) {
    MergeSettings& merge = options.merge;
    merge.artNet = line.has("--artnet") || !line.has("--sacn");
    merge.sacn = line.has("--sacn") || !line.has("--artnet");

    unsigned number = 0;
    if (const std::string* universe = line.value("--universe")) {
        if (!parseNumber(*universe, kSacnLowestUniverse, kSacnHighestUniverse, number)) {
            error = "--universe must be a number from 1 to 63999, not '" + *universe + "'";
            return false;
        }
        merge.sacnUniverse = static_cast<std::uint16_t>(number);
    }
    if (const std::string* artNet = line.value("--artnet-universe")) {
        if (!readArtNetUniverse(*artNet, merge.artNetPortAddress)) {
            error =
                "--artnet-universe must be a port-address from 0 to 32767 or NET:SUB:UNI "
                "(0..127:0..15:0..15), not '" +
                *artNet + "'";
            return false;
        }
    } else if (merge.sacnUniverse - 1u > kArtNetHighestPortAddress) {
        if (merge.artNet) {
            error = "Art-Net has no universe " + std::to_string(merge.sacnUniverse) +
                    " (port-addresses end at 32767): give --artnet-universe, or --sacn alone";
            return false;
        }
    } else {
        merge.artNetPortAddress.value = static_cast<std::uint16_t>(merge.sacnUniverse - 1);
    }
    if (const std::string* address = line.value("--address")) {
        if (!parseNumber(*address, 1, kHighestFirstSlot, number)) {
            error = "--address must be a number from 1 to 489 (channel 24 takes slot A+23), not '" +
                    *address + "'";
            return false;
        }
        merge.firstSlot = number;
    }
    if (const std::string* onLoss = line.value("--on-loss")) {
        if (*onLoss != "hold" && *onLoss != "blackout") {
            error = "--on-loss must be hold or blackout, not '" + *onLoss + "'";
            return false;
        }
        merge.onLoss = *onLoss == "hold" ? LossPolicy::Hold : LossPolicy::Blackout;
    }
    if (const std::string* bind = line.value("--bind")) {
        if (!parseIpv4(*bind, options.bindAddress)) {
            error = "--bind must be an IPv4 address such as 192.168.1.20, not '" + *bind + "'";
            return false;
        }
    }
    for (const std::string& allow : line.all("--allow")) {
        Ipv4Network block;
        if (!parseIpv4Network(allow, block)) {
            error = "--allow must be an IPv4 address or block such as 192.168.1.0/24, not '" + allow + "'";
            return false;
        }
        options.allowed.push_back(block);
    }
    if (const std::string* onPortLoss = line.value("--on-port-loss")) {
        if (*onPortLoss != "wait" && *onPortLoss != "exit") {
            error = "--on-port-loss must be wait or exit, not '" + *onPortLoss + "'";
            return false;
        }
        options.exitOnPortLoss = *onPortLoss == "exit";
    }
    options.exclusive = line.has("--exclusive");
    options.sacnMulticast = line.has("--sacn-multicast");
    if (options.sacnMulticast && !merge.sacn) {
        error = "--sacn-multicast goes with sACN, which --artnet alone leaves out";
        return false;
    }
    if (options.sacnMulticast && options.bindAddress != 0) {
        error =
            "--sacn-multicast needs the bridge to listen on every interface: a socket bound to one "
            "address (--bind) receives no multicast, and the bridge joins no group then";
        return false;
    }
    return true;
}

}  // namespace

bool BridgeOptions::allows(std::uint32_t sender) const {
    return allowed.empty() || std::any_of(allowed.begin(), allowed.end(), [sender](const Ipv4Network& block) {
               return block.contains(sender);
           });
}

bool parseBridgeOptions(int argc, const char* const* argv, BridgeOptions& options, std::string& error) {
    options = BridgeOptions{};
    if (asksForHelp(argc, argv)) {
        options.action = BridgeOptions::Action::Help;
        return true;
    }
    CommandLine line;
    if (!splitArguments(argc, argv, kBridgeOptionNames, line, error)) {
        return false;
    }
    std::string standalone;
    if (!readStandaloneFlag(line, standalone, error)) {
        return false;
    }
    if (!standalone.empty()) {
        options.action =
            standalone == "--list" ? BridgeOptions::Action::List : BridgeOptions::Action::Version;
        return true;
    }
    if (line.size() == 0) {
        error = "nothing to do";
        return false;
    }
    options.action = BridgeOptions::Action::Run;
    options.quiet = line.has("--quiet");
    return readPortOption(line, "lumenta-bridge", options.port, error) &&
           readModeOption(line, options.mode, error) && readNetworkOptions(line, options, error);
}
