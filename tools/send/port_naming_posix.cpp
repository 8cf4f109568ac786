#include <climits>
#include <cstdlib>

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
