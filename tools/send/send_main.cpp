// lumenta-send: one command frame to the dimmer from a script or a shell, on the panel's library and
// line settings.
#include <cstdio>
#include <string>
#include <vector>

#include "control/dimmer_frame.h"
#include "control/port_discovery.h"
#include "serial/port_facade.h"
#include "tools/send/frame_sender.h"
#include "tools/send/open_failure.h"
#include "tools/send/port_argument.h"
#include "tools/send/send_exit_code.h"
#include "tools/send/send_options.h"
#include "tools/send/send_usage.h"

namespace {

int fail(SendExitCode code, const std::string& message) {
    std::fprintf(stderr, "lumenta-send: %s\n", message.c_str());
    return exitStatus(code);
}

int listPorts() {
    const std::vector<std::string> ports = listedPorts(systemPortProbe());
    for (const std::string& name : ports) {
        std::printf("%s\n", name.c_str());
    }
    if (ports.empty()) {
        std::fprintf(stderr, "lumenta-send: no serial ports found\n");
    }
    if (const std::string note = unlistedPortsNote(); !note.empty()) {
        std::fprintf(stderr, "lumenta-send: %s\n", note.c_str());
    }
    return exitStatus(SendExitCode::Sent);
}

std::string knownPortsText(const std::vector<std::string>& ports) {
    if (ports.empty()) {
        return "no serial ports are listed";
    }
    std::string text = "the ports are:";
    for (const std::string& name : ports) {
        text += " " + name;
    }
    return text;
}

int send(const SendOptions& options) {
    const std::vector<std::string> ports = listedPorts(systemPortProbe());
    const auto port = findListedPort(options.port, ports, systemPortNaming());
    if (!port) {
        const std::string note = unlistedPortsNote(options.port);
        return fail(SendExitCode::UnknownPort, "unknown port '" + options.port + "'; " +
                                                   knownPortsText(ports) + " (lumenta-send --list)" +
                                                   (note.empty() ? "" : "\n" + note));
    }

    CSerialPortFacade facade;
    const DimmerFrame frame =
        buildDimmerFrame(options.channel, static_cast<std::uint8_t>(options.mode), options.level);
    const SendReport report = sendFrame(facade, *port, frame);
    switch (report.stage) {
        case SendReport::Stage::Sent:
            return exitStatus(SendExitCode::Sent);
        case SendReport::Stage::OpenFailed: {
            const FailureReport failure = explainOpenFailure(*port, report.status);
            return fail(failure.code, failure.message);
        }
        case SendReport::Stage::WriteFailed:
            break;
    }
    return fail(SendExitCode::WriteFailed,
                "writing to port " + *port + " failed (" +
                    serialStatusMessage(static_cast<std::int32_t>(report.status)) +
                    "); the frame did not leave the port in full, though part of it may have");
}

}  // namespace

int main(int argc, char** argv) {
    SendOptions options;
    std::string error;
    if (!parseSendOptions(argc, argv, options, error)) {
        return fail(SendExitCode::Usage, error + "\nTry 'lumenta-send --help'.");
    }
    switch (options.action) {
        case SendOptions::Action::Help:
            std::fputs(sendUsage().c_str(), stdout);
            return exitStatus(SendExitCode::Sent);
        case SendOptions::Action::Version:
            std::printf("lumenta-send %s\n", LUMENTA_VERSION);
            return exitStatus(SendExitCode::Sent);
        case SendOptions::Action::List:
            return listPorts();
        case SendOptions::Action::Send:
            break;
    }
    return send(options);
}
