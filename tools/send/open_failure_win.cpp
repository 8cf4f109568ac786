#include "tools/send/open_failure.h"

// Windows answers "access denied" when another program holds a COM port; plain users may open every
// COM port, so that is what it means here.
FailureReport explainOpenFailure(const std::string& portName, SerialStatus status) {
    const std::string port = "port " + portName;
    switch (status) {
        case SerialStatus::NotFound:
            return {SendExitCode::UnknownPort, port + " has gone (lumenta-send --list shows the ports)"};
        case SerialStatus::AccessDenied:
            return {SendExitCode::PortBusy,
                    port +
                        " is in use by another program. Close the program that holds it "
                        "(the Lumenta panel, a terminal program) and try again."};
        case SerialStatus::InvalidParam:
            return {SendExitCode::OpenFailed,
                    port + " refused the line settings 115200 baud, 8N1, no flow control"};
        default:
            return {SendExitCode::OpenFailed,
                    port + " could not be opened: " + serialStatusMessage(static_cast<std::int32_t>(status))};
    }
}
