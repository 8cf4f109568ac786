#pragma once

#include <map>
#include <string>

#include "control/com_name_probe.h"
#include "control/setup_api.h"

// The Windows ports: every COM name the object manager knows (QueryDosDeviceA), each described as
// Device Manager names it (SetupAPI's Ports class), read once per scan.
class WindowsPortProbe : public ComNameProbe {
public:
    explicit WindowsPortProbe(SetupApi& setupApi);

    std::vector<std::string> presentPortNames() override;
    // "USB Serial Port" for COM3, as of the latest presentPortNames; empty when the device names nothing.
    std::string portDescription(const std::string& name) override;

protected:
    bool deviceExists(const char* name) override;

private:
    SetupApi& setupApi_;
    std::map<std::string, std::string> descriptions_;
};
