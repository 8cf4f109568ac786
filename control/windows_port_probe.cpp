#include "control/windows_port_probe.h"

#include "control/com_port_names.h"

WindowsPortProbe::WindowsPortProbe(SetupApi& setupApi) : setupApi_(setupApi) {}

std::vector<std::string> WindowsPortProbe::presentPortNames() {
    descriptions_ = comPortDescriptions(setupApi_);
    return ComNameProbe::presentPortNames();
}

std::string WindowsPortProbe::portDescription(const std::string& name) {
    const auto found = descriptions_.find(name);
    return found == descriptions_.end() ? std::string() : found->second;
}

// Asks the object manager for the name's DOS device; only whether it answers matters, the target
// path it writes is never read.
bool WindowsPortProbe::deviceExists(const char* name) {
    static char target[5000];
    return QueryDosDeviceA(name, target, sizeof target) != 0;
}

PortProbe& systemPortProbe() {
    static WindowsPortProbe probe(systemSetupApi());
    return probe;
}
