#pragma once

#include <string>

#include "serial/serial_status.h"
#include "tools/send/send_exit_code.h"

// What the user is told when a listed port did not open, and the exit code for it.
struct FailureReport {
    SendExitCode code;
    std::string message;
};

// The shared diagnosis (diagnosis/port_problem.h) in lumenta-send's and lumenta-bridge's exit codes.
FailureReport explainOpenFailure(const std::string& portName, SerialStatus status);
