#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "common/virtual_port_dir.h"
#include "tools/send/port_argument.h"

namespace {

// Only links inside /dev that end at a device directly in /dev (ttyUSB0, not pts/3) count.
std::string deviceBehindLink(const std::string& given) {
    const std::string devices = "/dev/";
    if (given.compare(0, devices.size(), devices) != 0) {
        return "";
    }
    char resolved[PATH_MAX];
    if (realpath(given.c_str(), resolved) == nullptr) {
        return "";
    }
    const std::string target = resolved;
    if (target.compare(0, devices.size(), devices) != 0 ||
        target.find('/', devices.size()) != std::string::npos) {
        return "";
    }
    return target.substr(devices.size());
}

}  // namespace

PortNaming systemPortNaming() {
    return PortNaming{"/dev/", false, deviceBehindLink};
}

std::string unlistedPortsNote(const std::string& given) {
    const std::string dir = virtualPortDirectory();
    if (std::string problem = virtualPortDirectoryProblem(dir); !problem.empty()) {
        return problem;
    }
    std::string ignored;
    const PortDirectory ports = PortDirectory::open(dir, false, ignored);
    struct stat link {};
    if (isValidVirtualPortName(given) && ports.isOpen() &&
        fstatat(ports.fd(), given.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode) &&
        !ports.isLive(given)) {
        return "the virtual port " + given +
               " was left by a dimmer that no longer runs; start the dimmer again";
    }
    return "";
}
