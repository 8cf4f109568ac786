#include "serial/posix/port_path.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/virtual_port_dir.h"

namespace {

const std::string kDeviceDir = "/dev";

bool hasDotComponent(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(start, end - start);
        if (part == "." || part == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// dir itself without trailing slashes ("/" stays "/").
std::string withoutTrailingSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    return dir;
}

// True when path names an entry directly or deeper inside dir (not dir itself).
bool liesInside(const std::string& path, const std::string& dir) {
    const std::string prefix = withoutTrailingSlash(dir) + "/";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

SerialStatus statusForMissing(int error) {
    return (error == ENOENT || error == ENOTDIR || error == ENXIO || error == ENODEV) ? SerialStatus::NotFound
           : (error == EACCES || error == EPERM) ? SerialStatus::AccessDenied
                                                 : SerialStatus::OpenFailed;
}

// Unix 98 pseudo-terminal slaves (/dev/pts/N) live on devpts and have no entry in /sys/dev/char.
bool isPseudoTerminalSlave(dev_t device) {
    return major(device) >= 136 && major(device) <= 143;
}

// Terminals of the tty subsystem that are never a serial line: /dev/tty, /dev/console, /dev/ptmx
// and /dev/ttyprintk (major 5), the virtual consoles (major 4 below 64; ttyS* start at 64) and the
// legacy BSD pseudo-terminals (majors 2 and 3).
bool isNeverAPort(dev_t device) {
    const unsigned kind = major(device);
    return kind == 5 || (kind == 4 && minor(device) < 64) || kind == 2 || kind == 3;
}

// The kernel names the subsystem of every character device it knows in /sys/dev/char/MAJ:MIN.
bool isTtySubsystemDevice(dev_t device) {
    const std::string entry =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/subsystem";
    char link[PATH_MAX];
    const ssize_t size = readlink(entry.c_str(), link, sizeof link - 1);
    if (size <= 0) {
        return false;
    }
    const std::string subsystem(link, static_cast<std::size_t>(size));
    return subsystem == "tty" ||
           (subsystem.size() > 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0);
}

// The live virtual port of dir whose link leads to device, or empty.
std::string servingPort(const std::string& virtualDir, dev_t device) {
    std::string ignored;
    const PortDirectory ports = PortDirectory::open(virtualDir, false, ignored);
    for (const std::string& name : ports.livePortNames()) {
        struct stat info {};
        const std::string target = ports.liveTarget(name);
        if (!target.empty() && target[0] == '/' && stat(target.c_str(), &info) == 0 &&
            S_ISCHR(info.st_mode) && info.st_rdev == device) {
            return name;
        }
    }
    return "";
}

// Follows every link of candidate; the end must be a serial line inside /dev. servedBy names the
// live virtual port the candidate came from, if any; a pseudo-terminal needs one.
SerialStatus finalDevice(const std::string& candidate, const std::string& virtualDir, std::string servedBy,
                         PortTarget& target) {
    char resolved[PATH_MAX];
    if (realpath(candidate.c_str(), resolved) == nullptr) {
        return statusForMissing(errno);
    }
    const std::string path = resolved;
    if (!liesInside(path, kDeviceDir)) {
        return SerialStatus::InvalidParam;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return statusForMissing(errno);
    }
    if (!S_ISCHR(info.st_mode) || isNeverAPort(info.st_rdev)) {
        return SerialStatus::OpenFailed;
    }
    if (isPseudoTerminalSlave(info.st_rdev)) {
        if (servedBy.empty() && !virtualDir.empty()) {
            servedBy = servingPort(virtualDir, info.st_rdev);
        }
        if (servedBy.empty()) {
            return SerialStatus::InvalidParam;
        }
    } else if (!isTtySubsystemDevice(info.st_rdev)) {
        return SerialStatus::OpenFailed;
    } else {
        servedBy.clear();  // a real serial line, whatever link led to it
    }
    target.path = path;
    target.device = info.st_rdev;
    target.virtualPort = servedBy;
    target.virtualDir = servedBy.empty() ? std::string() : virtualDir;
    return SerialStatus::Success;
}

SerialStatus virtualPort(const std::string& name, const std::string& virtualDir, PortTarget& target) {
    std::string ignored;
    const PortDirectory ports = PortDirectory::open(virtualDir, false, ignored);
    const std::string link = ports.liveTarget(name);
    if (link.empty()) {
        return SerialStatus::NotFound;  // no such port, a stale one, or a directory that is not private
    }
    if (link[0] != '/' || hasDotComponent(link)) {
        return SerialStatus::InvalidParam;
    }
    return finalDevice(link, virtualDir, name, target);
}

}  // namespace

SerialStatus resolvePortPath(const std::string& name, const std::string& virtualDir, PortTarget& target) {
    if (name.empty() || name.size() >= PATH_MAX || hasDotComponent(name)) {
        return SerialStatus::InvalidParam;
    }
    const std::string ports = virtualDir.empty() ? std::string() : withoutTrailingSlash(virtualDir);
    if (name.front() == '/') {
        if (liesInside(name, kDeviceDir)) {
            return finalDevice(name, ports, "", target);
        }
        const std::size_t slash = name.find_last_of('/');
        if (!ports.empty() && withoutTrailingSlash(name.substr(0, slash + 1)) == ports) {
            return virtualPort(name.substr(slash + 1), ports, target);
        }
        return SerialStatus::InvalidParam;
    }
    if (name.find('/') != std::string::npos) {
        return SerialStatus::InvalidParam;
    }
    const std::string device = kDeviceDir + "/" + name;
    if (exists(device)) {
        return finalDevice(device, ports, "", target);
    }
    if (!ports.empty() && isValidVirtualPortName(name)) {
        return virtualPort(name, ports, target);
    }
    return SerialStatus::NotFound;
}

bool isStillServed(const PortTarget& target) {
    if (target.virtualPort.empty()) {
        return true;
    }
    PortTarget now;
    return virtualPort(target.virtualPort, target.virtualDir, now) == SerialStatus::Success &&
           now.path == target.path && now.device == target.device;
}
