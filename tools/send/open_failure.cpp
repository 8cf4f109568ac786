#include "tools/send/open_failure.h"

#include "diagnosis/port_problem.h"

FailureReport explainOpenFailure(const std::string& portName, SerialStatus status) {
    const OpenFailure failure = diagnoseOpenFailure(portName, status);
    switch (failure.problem) {
        case OpenProblem::NoPort:
        case OpenProblem::Gone:
            return {SendExitCode::UnknownPort, failure.text};
        case OpenProblem::Busy:
            return {SendExitCode::PortBusy, failure.text};
        case OpenProblem::PermissionDenied:
            return {SendExitCode::PermissionDenied, failure.text};
        case OpenProblem::NotASerialDevice:
        case OpenProblem::SettingsRefused:
        case OpenProblem::Other:
            break;
    }
    return {SendExitCode::OpenFailed, failure.text};
}
