#pragma once

#include <string>

#include "serial/serial_status.h"

// Why a port did not open, or went away, told in words: one diagnosis for the panel (both windows),
// lumenta-send and lumenta-bridge. The words come from the port's status and from what was found out
// about the device afterwards (PortFacts, gathered by findPortFacts for this platform).

enum class OpenProblem {
    NoPort,            // no port was named (the panel's list is empty)
    Gone,              // no device behind the name (any more)
    Busy,              // another program holds it
    PermissionDenied,  // this user may not open it, or not reach it
    NotASerialDevice,  // the name leads to something that is no serial line
    SettingsRefused,   // it opened but refused the line settings
    Other,
};

// What is known of the device after an open failed. Defaults stand for "nothing more is known".
struct PortFacts {
    std::string path;                              // the device the name leads to, if known
    SerialStatus reached = SerialStatus::Success;  // finding the device: NotFound, AccessDenied, ...
    int accessError = 0;                           // errno of a read-write access check, 0 if allowed
    bool deviceAnswers = true;                     // a fresh open of the device takes its queries
    // The device's group, for a permission refused.
    std::string groupName;
    bool rootGroup = false;        // the group is root's
    bool groupMayUse = true;       // the group may read and write the device
    bool inGroup = false;          // this process runs with the group
    bool addedSinceLogin = false;  // the account is a member, but this session started before
    // Who holds it, for a busy port: a lock file's or a lock's holder.
    long holderPid = 0;
    std::string holderProgram;
};

struct OpenFailure {
    OpenProblem problem;
    std::string text;  // one or more sentences, starting "port NAME ..." (or "permission denied: ...")
};

// The diagnosis of a failed open of portName with the port's recorded status.
OpenFailure describeOpenFailure(const std::string& portName, SerialStatus status, const PortFacts& facts);

// The same, with the facts found on this system now.
OpenFailure diagnoseOpenFailure(const std::string& portName, SerialStatus status);

// What this system can find out about portName's device after an open failed with status.
PortFacts findPortFacts(const std::string& portName, SerialStatus status);

// A port that was open and went away: gone when its device is no longer there, else it stopped
// answering (with the port's own word for the failure, when it has one).
std::string describeLostPort(const std::string& portName, SerialStatus status, bool devicePresent);

// True when the device that portName names is still there.
bool portDevicePresent(const std::string& portName);

// The second line of the panel's warning boxes (both windows): the diagnosis as sentences, and for a
// lost port what to do next.
std::string openFailureDetails(const std::string& portName, SerialStatus status);
std::string lostPortDetails(const std::string& portName, SerialStatus status);
