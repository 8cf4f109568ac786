// Every way an open fails, from the port's status and what was found out about the device (errno of
// the access check, the device's group and this user's place in it, a holder's pid), and the one
// diagnosis the panel and the tools give for it.
#include "diagnosis/port_problem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

// Facts as found: where the name led, errno of the access check, the group, the holder.
PortFacts facts(SerialStatus reached, int accessError = 0, const std::string& group = "", int groupBits = 0,
                long holder = 0, const std::string& program = "") {
    PortFacts found;
    found.path = "/dev/ttyUSB0";
    found.reached = reached;
    found.accessError = accessError;
    found.groupName = group;
    found.rootGroup = group == "root";
    found.groupMayUse = (groupBits & 1) != 0;
    found.inGroup = (groupBits & 2) != 0;
    found.addedSinceLogin = (groupBits & 4) != 0;
    found.holderPid = holder;
    found.holderProgram = program;
    return found;
}
constexpr int kMayUse = 1, kMember = 2, kAddedSinceLogin = 4;
const SerialStatus kReached = SerialStatus::Success;

// The diagnosis says `says` (and never `never`) and sorts the failure as `problem`.
void expectDiagnosis(const std::string& port, SerialStatus status, const PortFacts& found,
                     OpenProblem problem, const std::string& says, const std::string& never = "\x01") {
    const OpenFailure failure = describeOpenFailure(port, status, found);
    EXPECT_EQ(failure.problem, problem) << failure.text;
    EXPECT_NE(failure.text.find(says), std::string::npos) << failure.text;
    EXPECT_EQ(failure.text.find(never), std::string::npos) << failure.text;
}

TEST(PortProblem, OneDiagnosisForEveryWayAnOpenFails) {
    const SerialStatus denied = SerialStatus::AccessDenied;
    expectDiagnosis("", SerialStatus::InvalidParam, {}, OpenProblem::NoPort, "port list is empty");
    expectDiagnosis("ttyUSB9", SerialStatus::NotFound, {}, OpenProblem::Gone,
                    "port ttyUSB9 has gone: the adapter");
    expectDiagnosis("vd", SerialStatus::OpenFailed, facts(SerialStatus::NotFound), OpenProblem::Gone,
                    "has gone");
    expectDiagnosis("x", denied, facts(denied), OpenProblem::PermissionDenied, "you may not reach port x");
    expectDiagnosis("notatty", SerialStatus::OpenFailed, facts(SerialStatus::OpenFailed),
                    OpenProblem::NotASerialDevice, "does not lead to a serial device");
    // EACCES on a device of root's group, or of a group without access: joining it would not help.
    expectDiagnosis("ttyS0", denied, facts(kReached, EACCES, "root"), OpenProblem::PermissionDenied,
                    "belongs to the group 'root', not to a group for serial ports", "usermod -aG root");
    expectDiagnosis("ttyS0", denied, facts(kReached, EACCES, "tty"), OpenProblem::PermissionDenied,
                    "udev rule", "-aG tty");
    expectDiagnosis(
        "ttyUSB0", denied, facts(kReached, EACCES, "dialout", kMayUse), OpenProblem::PermissionDenied,
        "port ttyUSB0 (/dev/ttyUSB0)\n/dev/ttyUSB0 belongs to the group 'dialout'. Add yourself to it",
        "udev");
    expectDiagnosis("ttyUSB0", denied, facts(kReached, EPERM, "dialout", kMayUse | kMember),
                    OpenProblem::PermissionDenied, "which you are in", "usermod");
    expectDiagnosis("ttyUSB0", denied, facts(kReached, EACCES, "uucp", kMayUse | kAddedSinceLogin),
                    OpenProblem::PermissionDenied, "log out and back in (or run 'newgrp uucp')", "usermod");
    // Allowed, yet refused: another program has it, named when its lock file or lock names it.
    expectDiagnosis("ttyS0", denied, facts(kReached, 0, "", 0, 4321, "minicom"), OpenProblem::Busy,
                    "is in use by another program (pid 4321, minicom). Close it", "permission");
    expectDiagnosis("ttyS0", denied, facts(kReached, 0, "", 0, 77), OpenProblem::Busy, "program (pid 77).");
    expectDiagnosis("COM3", denied, {}, OpenProblem::Busy,
                    "port COM3 is in use by another program. Close the", "pid");
    expectDiagnosis("COM3", SerialStatus::InvalidParam, {}, OpenProblem::SettingsRefused,
                    "port COM3 refused the line settings 115200 baud");
    // A name whose device takes no query any more (a mapping left behind under Wine, a removed adapter).
    PortFacts silent;
    silent.deviceAnswers = false;
    expectDiagnosis("COM7", SerialStatus::InvalidParam, silent, OpenProblem::Gone, "port COM7 has gone",
                    "line settings");
    expectDiagnosis("ttyUSB0", SerialStatus::OpenFailed, facts(kReached), OpenProblem::Other,
                    "(/dev/ttyUSB0) could not be opened: ");
}

// One wording for a device that has gone, whether the open finds it gone or an open port loses it.
TEST(PortProblem, AGoneDeviceReadsAlikeAtOpenAndWhenLost) {
    EXPECT_EQ(describeLostPort("vdwin", SerialStatus::WriteFailed, false),
              describeOpenFailure("vdwin", SerialStatus::NotFound, {}).text);
    EXPECT_EQ(describeLostPort("ttyUSB0", SerialStatus::WriteFailed, true),
              "port ttyUSB0 stopped answering: the port reports \"write failed error\"");
    EXPECT_EQ(openFailureDetails("", SerialStatus::InvalidParam),
              "No serial port was found: the port list is empty.");
    EXPECT_FALSE(portDevicePresent("no-such-port-here"));
}

}  // namespace
