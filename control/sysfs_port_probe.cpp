#include "control/sysfs_port_probe.h"

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

// Each virtual port is a symbolic link to the pseudo-terminal that serves it; a link whose target has
// gone belongs to a run that was killed and is not listed.
void addVirtualPorts(const std::string& dir, std::vector<std::string>& names) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code probe;
        if (it->is_symlink(probe) && fs::exists(it->path(), probe) &&
            isValidVirtualPortName(it->path().filename().string())) {
            names.push_back(it->path().filename().string());
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
    addVirtualPorts(virtualPortDir_, names);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

PortProbe& systemPortProbe() {
    static SysfsPortProbe probe("/sys/class/tty", "/dev", virtualPortDirectory());
    return probe;
}
