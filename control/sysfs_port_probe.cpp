#include "control/sysfs_port_probe.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "common/virtual_port_dir.h"

namespace fs = std::filesystem;

namespace {

// The uart type the 8250 driver reports; 0 means no chip answers at that address.
bool hasNoUart(const fs::path& classEntry) {
    std::ifstream type(classEntry / "type");
    int value = -1;
    return type >> value && value == 0;
}

void addRealDevices(const std::string& classDir, const std::string& deviceDir,
                    std::vector<std::string>& names) {
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        std::error_code probe;
        if (!fs::exists(entry / "device", probe) || hasNoUart(entry)) {
            continue;
        }
        if (fs::exists(fs::path(deviceDir) / name, probe)) {
            names.push_back(name);
        }
    }
}

// Each virtual port is a symbolic link to the pseudo-terminal that serves it, listed only while its
// publisher lives (holds its lock) and only from a private directory. A name that is also an entry
// of the device directory is left out: the port would stand for the device.
void addVirtualPorts(const std::string& dir, const std::string& deviceDir, std::vector<std::string>& names) {
    std::string refused;
    const PortDirectory ports = PortDirectory::open(dir, false, refused);
    for (const std::string& name : ports.livePortNames()) {
        struct stat target {};
        if (!shadowsDevice(name, deviceDir) && fstatat(ports.fd(), name.c_str(), &target, 0) == 0) {
            names.push_back(name);
        }
    }
}

}  // namespace

SysfsPortProbe::SysfsPortProbe(std::string ttyClassDir, std::string deviceDir, std::string virtualPortDir)
    : ttyClassDir_(std::move(ttyClassDir)),
      deviceDir_(std::move(deviceDir)),
      virtualPortDir_(std::move(virtualPortDir)) {}

std::vector<std::string> SysfsPortProbe::presentPortNames() {
    std::vector<std::string> names;
    addRealDevices(ttyClassDir_, deviceDir_, names);
    addVirtualPorts(virtualPortDir_, deviceDir_, names);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

PortProbe& systemPortProbe() {
    static SysfsPortProbe probe("/sys/class/tty", "/dev", virtualPortDirectory());
    return probe;
}
