// What a POSIX system tells about a port's device after its open failed: where the name leads, this
// user's access and groups, and who holds the device (a lock file's or a lock's holder).
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/virtual_port_dir.h"
#include "diagnosis/port_problem.h"
#include "serial/posix/port_path.h"
#include "serial/posix/uucp_lock.h"

namespace {

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

// The account is a member in the group database, which a running session learns at its next login.
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

std::string programName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.substr(0, 16);
}

// The holder of a flock on the device node, from the kernel's list of locks (lines such as
// "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF": the pid, then the node as MAJ:MIN:INODE in hex).
long flockHolder(const struct stat& node) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind >> mode >> access >> pid >> where) || kind != "FLOCK" || pid <= 0) {
            continue;
        }
        unsigned int major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) == 3 &&
            makedev(major, minor) == node.st_dev && inode == node.st_ino && pid != getpid()) {
            return pid;
        }
    }
    return 0;
}

}  // namespace

PortFacts findPortFacts(const std::string& portName, SerialStatus status) {
    PortFacts facts;
    PortTarget target;
    facts.reached = resolvePortPath(portName, virtualPortDirectory(), target);
    facts.path = target.path;
    if (facts.reached != SerialStatus::Success || status != SerialStatus::AccessDenied) {
        return facts;
    }
    if (access(facts.path.c_str(), R_OK | W_OK) != 0) {
        facts.accessError = errno;
    }
    struct stat info {};
    if (stat(facts.path.c_str(), &info) != 0) {
        return facts;
    }
    if (facts.accessError == EACCES || facts.accessError == EPERM) {
        const group* entry = getgrgid(info.st_gid);
        facts.groupName = entry != nullptr ? entry->gr_name : std::to_string(info.st_gid);
        facts.rootGroup = info.st_gid == 0;
        facts.groupMayUse = (info.st_mode & S_IRGRP) != 0 && (info.st_mode & S_IWGRP) != 0;
        facts.inGroup = processHasGroup(info.st_gid);
        facts.addedSinceLogin = !facts.inGroup && accountListedInGroup(info.st_gid);
        return facts;
    }
    // Terminal programs lock real devices by file; a virtual port's holder has only the lock.
    const uucp_lock::Holder holder =
        target.virtualPort.empty() ? uucp_lock::holderOf(facts.path) : uucp_lock::Holder{};
    facts.holderPid = holder.pid != 0 ? holder.pid : flockHolder(info);
    facts.holderProgram = holder.pid != 0        ? holder.program
                          : facts.holderPid != 0 ? programName(facts.holderPid)
                                                 : "";
    return facts;
}

// Present: the name still leads to a device, even one this user may not reach. A name that no longer
// leads anywhere, or to a pseudo-terminal that its dimmer no longer serves, has gone.
bool portDevicePresent(const std::string& portName) {
    PortTarget target;
    const SerialStatus reached = resolvePortPath(portName, virtualPortDirectory(), target);
    return reached == SerialStatus::Success || reached == SerialStatus::AccessDenied ||
           reached == SerialStatus::OpenFailed;
}
