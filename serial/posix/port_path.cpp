#include "serial/posix/port_path.h"

#include "common/virtual_port_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

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

// Follows every link of candidate; the end must be a character device inside /dev.
SerialStatus finalDevice(const std::string& candidate, std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(candidate.c_str(), resolved) == nullptr) {
        return statusForMissing(errno);
    }
    const std::string target = resolved;
    if (!liesInside(target, kDeviceDir)) {
        return SerialStatus::InvalidParam;
    }
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) {
        return statusForMissing(errno);
    }
    if (!S_ISCHR(info.st_mode)) {
        return SerialStatus::OpenFailed;
    }
    path = target;
    return SerialStatus::Success;
}

}  // namespace

SerialStatus resolvePortPath(const std::string& name, const std::string& virtualDir, std::string& path) {
    if (name.empty() || name.size() >= PATH_MAX || hasDotComponent(name)) {
        return SerialStatus::InvalidParam;
    }
    if (name.front() == '/') {
        const bool inDevices = liesInside(name, kDeviceDir);
        const bool inVirtual = !virtualDir.empty() && liesInside(name, virtualDir);
        if (!inDevices && !inVirtual) {
            return SerialStatus::InvalidParam;
        }
        return finalDevice(name, path);
    }
    if (name.find('/') != std::string::npos) {
        return SerialStatus::InvalidParam;
    }
    const std::string device = kDeviceDir + "/" + name;
    if (exists(device)) {
        return finalDevice(device, path);
    }
    if (!virtualDir.empty() && isValidVirtualPortName(name)) {
        const std::string published = withoutTrailingSlash(virtualDir) + "/" + name;
        if (exists(published)) {
            return finalDevice(published, path);
        }
    }
    return SerialStatus::NotFound;
}
