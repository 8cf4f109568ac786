#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/virtual_port_dir.h"
#include "serial/posix/port_path.h"
#include "tools/send/open_failure.h"

namespace {

std::string groupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

bool processHasGroup(gid_t gid) {
    if (getegid() == gid) {
        return true;
    }
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
    const int got = count > 0 ? getgroups(count, groups.data()) : 0;
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == gid) {
            return true;
        }
    }
    return false;
}

// True when the account is a member of the group in the group database, which a running session
// only learns at its next login.
bool accountListedInGroup(gid_t gid) {
    const passwd* user = getpwuid(getuid());
    const group* entry = getgrgid(gid);
    if (user == nullptr || entry == nullptr) {
        return false;
    }
    if (user->pw_gid == gid) {
        return true;
    }
    for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
        if (std::string(*member) == user->pw_name) {
            return true;
        }
    }
    return false;
}

std::string permissionHint(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return "";
    }
    const std::string group = groupName(info.st_gid);
    std::string hint = "\n" + path + " belongs to the group '" + group + "'";
    if (info.st_gid == 0 || (info.st_mode & S_IRWXG) == 0) {
        return hint + ", not to a group for serial ports. Serial adapters belong to 'dialout' on Debian " +
               "and Ubuntu; a udev rule (see the user guide) can give this one to it, and then:\n" +
               "    sudo usermod -aG dialout $USER\nand log out and back in.";
    }
    if (processHasGroup(info.st_gid)) {
        return hint + ", which you are in; the device's own permissions or a security policy refuse access.";
    }
    if (accountListedInGroup(info.st_gid)) {
        return hint + ". You were added to it, but this session started before that: log out and back in " +
               "(or run 'newgrp " + group + "').";
    }
    return hint + ". Add yourself to it (serial adapters belong to 'dialout' on Debian and Ubuntu):\n" +
           "    sudo usermod -aG " + group + " $USER\nthen log out and back in.";
}

}  // namespace

FailureReport explainOpenFailure(const std::string& portName, SerialStatus status) {
    const std::string port = "port " + portName;
    PortTarget target;
    const SerialStatus where = resolvePortPath(portName, virtualPortDirectory(), target);
    const std::string& path = target.path;
    if (status == SerialStatus::NotFound || where == SerialStatus::NotFound) {
        return {SendExitCode::UnknownPort, port + " has gone (lumenta-send --list shows the ports)"};
    }
    if (where == SerialStatus::AccessDenied) {
        return {SendExitCode::PermissionDenied, "permission denied: you may not reach " + port};
    }
    if (where != SerialStatus::Success) {
        return {SendExitCode::OpenFailed, port + " cannot be opened: it does not lead to a serial device"};
    }
    if (status == SerialStatus::AccessDenied) {
        if (access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
            return {SendExitCode::PermissionDenied,
                    "permission denied: you may not open " + port + " (" + path + ")" + permissionHint(path)};
        }
        return {SendExitCode::PortBusy,
                port + " (" + path + ") is in use by another program. Close the program that holds it " +
                    "(the Lumenta panel, a terminal program, ModemManager) and try again."};
    }
    if (status == SerialStatus::InvalidParam) {
        return {SendExitCode::OpenFailed,
                port + " (" + path + ") refused the line settings 115200 baud, 8N1, no flow control"};
    }
    return {SendExitCode::OpenFailed, port + " (" + path + ") could not be opened: " +
                                          serialStatusMessage(static_cast<std::int32_t>(status))};
}
