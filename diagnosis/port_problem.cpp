#include "diagnosis/port_problem.h"

#include <cerrno>

namespace {

std::string goneText(const std::string& port) {
    return port + " has gone: the adapter was unplugged, or the program that served it has ended";
}

// How a user gets the device's group, or why that would not help.
std::string groupHint(const std::string& path, const PortFacts& facts) {
    if (facts.groupName.empty()) {
        return "";
    }
    const std::string hint = "\n" + path + " belongs to the group '" + facts.groupName + "'";
    if (facts.rootGroup || !facts.groupMayUse) {
        return hint +
               ", not to a group for serial ports. Serial adapters belong to 'dialout' on Debian and "
               "Ubuntu; a udev rule (see the user guide) can give this one to it, and then:\n"
               "    sudo usermod -aG dialout $USER\nand log out and back in.";
    }
    if (facts.inGroup) {
        return hint + ", which you are in; the device's own permissions or a security policy refuse access.";
    }
    if (facts.addedSinceLogin) {
        return hint + ". You were added to it, but this session started before that: log out and back in " +
               "(or run 'newgrp " + facts.groupName + "').";
    }
    return hint + ". Add yourself to it (serial adapters belong to 'dialout' on Debian and Ubuntu):\n" +
           "    sudo usermod -aG " + facts.groupName + " $USER\nthen log out and back in.";
}

}  // namespace

OpenFailure describeOpenFailure(const std::string& portName, SerialStatus status, const PortFacts& facts) {
    if (portName.empty()) {
        return {OpenProblem::NoPort, "no serial port was found: the port list is empty"};
    }
    const std::string port = "port " + portName;
    const std::string named =
        facts.path.empty() || facts.path == portName ? port : port + " (" + facts.path + ")";
    if (status == SerialStatus::NotFound || facts.reached == SerialStatus::NotFound) {
        return {OpenProblem::Gone, goneText(port)};
    }
    if (facts.reached == SerialStatus::AccessDenied) {
        return {OpenProblem::PermissionDenied, "permission denied: you may not reach " + port};
    }
    if (facts.reached != SerialStatus::Success) {
        return {OpenProblem::NotASerialDevice,
                port + " cannot be opened: it does not lead to a serial device"};
    }
    if (status == SerialStatus::AccessDenied) {
        if (facts.accessError == EACCES || facts.accessError == EPERM) {
            return {OpenProblem::PermissionDenied,
                    "permission denied: you may not open " + named + groupHint(facts.path, facts)};
        }
        const std::string holder =
            facts.holderPid == 0 ? std::string()
                                 : " (pid " + std::to_string(facts.holderPid) +
                                       (facts.holderProgram.empty() ? "" : ", " + facts.holderProgram) + ")";
        return {OpenProblem::Busy,
                named + " is in use by another program" + holder +
                    (holder.empty() ? ". Close the program that holds it (the Lumenta panel, a terminal "
                                      "program, a modem manager) and try again."
                                    : ". Close it and try again.")};
    }
    if (status == SerialStatus::InvalidParam && !facts.deviceAnswers) {
        return {OpenProblem::Gone, goneText(port) + " (no serial device answers behind the name)"};
    }
    if (status == SerialStatus::InvalidParam) {
        return {OpenProblem::SettingsRefused,
                named + " refused the line settings 115200 baud, 8N1, no flow control"};
    }
    return {OpenProblem::Other,
            named + " could not be opened: " + serialStatusMessage(static_cast<std::int32_t>(status))};
}

OpenFailure diagnoseOpenFailure(const std::string& portName, SerialStatus status) {
    return describeOpenFailure(portName, status, findPortFacts(portName, status));
}

namespace {

std::string asSentences(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    return text;
}

}  // namespace

std::string openFailureDetails(const std::string& portName, SerialStatus status) {
    return asSentences(diagnoseOpenFailure(portName, status).text);
}

std::string lostPortDetails(const std::string& portName, SerialStatus status) {
    const bool present = portDevicePresent(portName);
    return asSentences(describeLostPort(portName, status, present)) +
           (present ? " Press Open Port to open it again."
                    : " When it is back in the list, press Open Port.");
}

std::string describeLostPort(const std::string& portName, SerialStatus status, bool devicePresent) {
    const std::string port = "port " + portName;
    if (!devicePresent) {
        return goneText(port);
    }
    if (status == SerialStatus::Success) {
        return port + " stopped answering";
    }
    return port + " stopped answering: the port reports \"" +
           serialStatusMessage(static_cast<std::int32_t>(status)) + "\"";
}
