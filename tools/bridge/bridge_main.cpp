// lumenta-bridge: keeps the dimmer's 24 channels at the levels a lighting console sends by Art-Net or
// sACN, on the panel's serial library and line settings.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "control/port_discovery.h"
#include "serial/port_facade.h"
#include "tools/bridge/bridge_options.h"
#include "tools/bridge/bridge_runtime.h"
#include "tools/bridge/bridge_status.h"
#include "tools/bridge/bridge_usage.h"
#include "tools/bridge/dimmer_line.h"
#include "tools/bridge/ipv4_address.h"
#include "tools/bridge/udp_socket.h"
#include "tools/send/frame_sender.h"
#include "tools/send/open_failure.h"
#include "tools/send/port_argument.h"
#include "tools/send/send_exit_code.h"

namespace {

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "lumenta-bridge: %s\n", message.c_str());
    return code;
}

int fail(SendExitCode code, const std::string& message) {
    return fail(exitStatus(code), message);
}

std::unique_ptr<UdpSocket> listen(const BridgeOptions& options, const char* protocol, std::uint16_t port,
                                  std::string& error) {
    std::string reason;
    const auto sharing = options.exclusive ? UdpSocket::Sharing::Exclusive : UdpSocket::Sharing::Shared;
    std::unique_ptr<UdpSocket> socket = UdpSocket::open(options.bindAddress, port, sharing, reason);
    if (!socket) {
        error = std::string("cannot listen for ") + protocol + " on " + ipv4Text(options.bindAddress) + ":" +
                std::to_string(port) + ": " + reason;
    }
    return socket;
}

// Linux holds the receive buffer to net.core.rmem_max unless the program may pass it.
void noteSmallReceiveBuffer(const UdpSocket& socket) {
    if (socket.receiveBufferSize() < UdpSocket::kReceiveBufferSize) {
        std::fprintf(stderr,
                     "lumenta-bridge: note: the system allows a receive buffer of %zu KiB, not %zu KiB "
                     "(net.core.rmem_max): a burst beyond it is dropped\n",
                     socket.receiveBufferSize() / 1024, UdpSocket::kReceiveBufferSize / 1024);
    }
}

std::string banner(const BridgeOptions& options, const std::string& port) {
    const MergeSettings& m = options.merge;
    std::string text = "lumenta-bridge: ";
    if (m.artNet) {
        text += "Art-Net " + m.artNetPortAddress.text() + " (port-address " +
                std::to_string(m.artNetPortAddress.value) + ")" + (m.sacn ? " and " : "");
    }
    if (m.sacn) {
        text += std::string("sACN universe ") + std::to_string(m.sacnUniverse) +
                (options.sacnMulticast ? " (multicast joined)" : "");
    }
    text += ", slots " + std::to_string(m.firstSlot) + "-" +
            std::to_string(m.firstSlot + kDimmerChannelCount - 1) + ", on " + ipv4Text(options.bindAddress) +
            " -> " + port + " (mode " + (options.mode == DimmerMode::H ? "H" : "L") + "). Ctrl-C ends it.\n";
    return text;
}

int run(const BridgeOptions& options) {
    // Before the port starts its thread: the stop signals must reach this one.
    StopRequest stop;
    const std::vector<std::string> ports = listedPorts(systemPortProbe());
    const auto port = findListedPort(options.port, ports, systemPortNaming());
    if (!port) {
        return fail(SendExitCode::UnknownPort, unknownPortMessage(options.port, ports, "lumenta-bridge"));
    }

    NetworkSession network;
    if (!network.ready()) {
        return fail(kBridgeNetworkFailed, "the network is not available");
    }
    std::string error;
    std::unique_ptr<UdpSocket> artNet;
    std::unique_ptr<UdpSocket> sacn;
    if (options.merge.artNet && !(artNet = listen(options, "Art-Net", kArtNetUdpPort, error))) {
        return fail(kBridgeNetworkFailed, error);
    }
    if (options.merge.sacn && !(sacn = listen(options, "sACN", kSacnUdpPort, error))) {
        return fail(kBridgeNetworkFailed, error);
    }
    if (sacn && options.sacnMulticast &&
        !sacn->joinGroup(sacnMulticastGroup(options.merge.sacnUniverse), error)) {
        return fail(kBridgeNetworkFailed, "cannot join the multicast group of sACN universe " +
                                              std::to_string(options.merge.sacnUniverse) + ": " + error);
    }

    CSerialPortFacade facade;
    const SerialStatus opened = openDimmerLine(facade, *port);
    if (opened != SerialStatus::Success) {
        const FailureReport failure = explainOpenFailure(*port, opened);
        return fail(failure.code, failure.message);
    }

    if (!options.quiet) {
        noteSmallReceiveBuffer(artNet ? *artNet : *sacn);
        std::fputs(banner(options, *port).c_str(), stdout);
        std::fflush(stdout);
    }
    const StatusDisplay::Style style = options.quiet            ? StatusDisplay::Style::Off
                                       : outputIsLiveTerminal() ? StatusDisplay::Style::Live
                                                                : StatusDisplay::Style::Log;
    StatusDisplay display(style, stdout);
    DimmerLine line(facade, options.port, *port);
    BridgeRuntime bridge(options, line, std::move(artNet), std::move(sacn), stderr);
    if (bridge.run(stop, display) == BridgeRuntime::Outcome::PortLost) {
        return fail(SendExitCode::WriteFailed, portLostMessage(line.name(), line.lossStatus()));
    }
    return exitStatus(SendExitCode::Sent);
}

}  // namespace

int main(int argc, char** argv) {
    BridgeOptions options;
    std::string error;
    if (!parseBridgeOptions(argc, argv, options, error)) {
        return fail(SendExitCode::Usage, error + "\nTry 'lumenta-bridge --help'.");
    }
    switch (options.action) {
        case BridgeOptions::Action::Help:
            std::fputs(bridgeUsage().c_str(), stdout);
            return 0;
        case BridgeOptions::Action::Version:
            std::printf("lumenta-bridge %s\n", LUMENTA_VERSION);
            return 0;
        case BridgeOptions::Action::List:
            printListedPorts(systemPortProbe(), "lumenta-bridge");
            return 0;
        case BridgeOptions::Action::Run:
            break;
    }
    return run(options);
}
