#pragma once

#include <string>

#include "serial/serial_status.h"
#include "tools/send/send_exit_code.h"

// What the user is told when a listed port did not open, and the exit code for it.
struct FailureReport {
    SendExitCode code;
    std::string message;
};

// The port's status names the failure; where the status alone cannot tell "held by another program"
// from "not allowed" (both are AccessDenied), the platform's part looks at the device itself.
FailureReport explainOpenFailure(const std::string& portName, SerialStatus status);
