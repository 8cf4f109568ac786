// Every way an open fails, from the port's status and what was found out about the device (errno of
// the access check, the device's group and this user's place in it, a holder's pid), and the one
// diagnosis the panel and the tools give for it.
#include "diagnosis/port_problem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

PortFacts on(const std::string& path) {
    PortFacts facts;
    facts.path = path;
    return facts;
}

PortFacts refused(const std::string& group, bool rootGroup, bool groupMayUse, bool inGroup, bool added) {
    PortFacts facts = on("/dev/ttyUSB0");
    facts.accessError = EACCES;
    facts.groupName = group;
    facts.rootGroup = rootGroup;
    facts.groupMayUse = groupMayUse;
    facts.inGroup = inGroup;
    facts.addedSinceLogin = added;
    return facts;
}

PortFacts withReached(SerialStatus reached) {
    PortFacts facts;
    facts.reached = reached;
    return facts;
}

PortFacts heldBy(long pid, const std::string& program) {
    PortFacts facts = on("/dev/ttyS0");
    facts.accessError = 0;
    facts.holderPid = pid;
    facts.holderProgram = program;
    return facts;
}

PortFacts silent() {
    PortFacts facts;
    facts.deviceAnswers = false;
    return facts;
}

struct Case {
    const char* what;
    std::string port;
    SerialStatus status;
    PortFacts facts;
    OpenProblem problem;
    std::vector<std::string> says;
    std::vector<std::string> never;
};

TEST(PortProblem, OneDiagnosisForEveryWayAnOpenFails) {
    const std::vector<Case> cases = {
        {"nothing chosen",
         "",
         SerialStatus::InvalidParam,
         {},
         OpenProblem::NoPort,
         {"port list is empty"},
         {}},
        {"unplugged",
         "ttyUSB9",
         SerialStatus::NotFound,
         {},
         OpenProblem::Gone,
         {"port ttyUSB9 has gone", "unplugged"},
         {}},
        {"gone before the open",
         "vdimmer",
         SerialStatus::OpenFailed,
         withReached(SerialStatus::NotFound),
         OpenProblem::Gone,
         {"port vdimmer has gone"},
         {}},
        {"a folder on the way refuses",
         "x",
         SerialStatus::AccessDenied,
         withReached(SerialStatus::AccessDenied),
         OpenProblem::PermissionDenied,
         {"you may not reach port x"},
         {}},
        {"no serial line",
         "notatty",
         SerialStatus::OpenFailed,
         withReached(SerialStatus::OpenFailed),
         OpenProblem::NotASerialDevice,
         {"does not lead to a serial device"},
         {}},
        // EACCES on a device of root's group: joining a group does not help, a udev rule does.
        {"root's device",
         "ttyS0",
         SerialStatus::AccessDenied,
         refused("root", true, false, false, false),
         OpenProblem::PermissionDenied,
         {"permission denied", "belongs to the group 'root'", "udev rule", "-aG dialout"},
         {"usermod -aG root"}},
        {"a group without access",
         "ttyS0",
         SerialStatus::AccessDenied,
         refused("tty", false, false, false, false),
         OpenProblem::PermissionDenied,
         {"udev rule"},
         {"-aG tty"}},
        {"dialout, not a member",
         "ttyUSB0",
         SerialStatus::AccessDenied,
         refused("dialout", false, true, false, false),
         OpenProblem::PermissionDenied,
         {"(/dev/ttyUSB0)", "sudo usermod -aG dialout $USER"},
         {"udev"}},
        {"dialout, a member",
         "ttyUSB0",
         SerialStatus::AccessDenied,
         refused("dialout", false, true, true, false),
         OpenProblem::PermissionDenied,
         {"which you are in"},
         {"usermod"}},
        {"dialout, added since login",
         "ttyUSB0",
         SerialStatus::AccessDenied,
         refused("uucp", false, true, false, true),
         OpenProblem::PermissionDenied,
         {"log out and back in", "newgrp uucp"},
         {"usermod"}},
        {"EPERM counts as refused",
         "ttyUSB0",
         SerialStatus::AccessDenied,
         [] {
             PortFacts facts = refused("dialout", false, true, false, false);
             facts.accessError = EPERM;
             return facts;
         }(),
         OpenProblem::PermissionDenied,
         {"permission denied"},
         {}},
        // Allowed, but refused: another program has it.
        {"a lock file's holder",
         "ttyS0",
         SerialStatus::AccessDenied,
         heldBy(4321, "minicom"),
         OpenProblem::Busy,
         {"port ttyS0 (/dev/ttyS0) is in use by another program (pid 4321, minicom)"},
         {"permission"}},
        {"a holder without a name",
         "ttyS0",
         SerialStatus::AccessDenied,
         heldBy(77, ""),
         OpenProblem::Busy,
         {"(pid 77)"},
         {}},
        {"an unknown holder",
         "COM3",
         SerialStatus::AccessDenied,
         {},
         OpenProblem::Busy,
         {"port COM3 is in use by another program", "Close the program that holds it"},
         {"pid"}},
        {"an open error other than EACCES",
         "ttyUSB0",
         SerialStatus::AccessDenied,
         heldBy(0, ""),
         OpenProblem::Busy,
         {"in use"},
         {}},
        {"line settings refused",
         "COM3",
         SerialStatus::InvalidParam,
         {},
         OpenProblem::SettingsRefused,
         {"refused the line settings 115200 baud"},
         {}},
        // A name whose device takes no query any more (Windows, under Wine a mapping left behind).
        {"no device behind the name",
         "COM7",
         SerialStatus::InvalidParam,
         silent(),
         OpenProblem::Gone,
         {"port COM7 has gone"},
         {"line settings"}},
        {"anything else",
         "ttyUSB0",
         SerialStatus::OpenFailed,
         on("/dev/ttyUSB0"),
         OpenProblem::Other,
         {"could not be opened: "},
         {}},
    };
    for (const Case& c : cases) {
        const OpenFailure failure = describeOpenFailure(c.port, c.status, c.facts);
        EXPECT_EQ(failure.problem, c.problem) << c.what << ": " << failure.text;
        for (const std::string& text : c.says) {
            EXPECT_NE(failure.text.find(text), std::string::npos) << c.what << ": " << failure.text;
        }
        for (const std::string& text : c.never) {
            EXPECT_EQ(failure.text.find(text), std::string::npos) << c.what << ": " << failure.text;
        }
    }
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
