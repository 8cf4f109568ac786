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

int send(const SendOptions& options) {
    const std::vector<std::string> ports = listedPorts(systemPortProbe());
    const auto port = findListedPort(options.port, ports, systemPortNaming());
    if (!port) {
        return fail(SendExitCode::UnknownPort, unknownPortMessage(options.port, ports, "lumenta-send"));
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
            printListedPorts(systemPortProbe(), "lumenta-send");
            return exitStatus(SendExitCode::Sent);
        case SendOptions::Action::Send:
            break;
    }
    return send(options);
}
