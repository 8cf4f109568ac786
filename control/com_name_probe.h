#pragma once

#include "control/port_discovery.h"

// Windows names its serial ports COM0..COM254. This probe asks for each of the 255 names in
// ascending order whether the system knows such a device.
class ComNameProbe : public PortProbe {
public:
    static constexpr int kHighestPortNumber = 254;

    std::vector<std::string> presentPortNames() override;

protected:
    virtual bool deviceExists(const char* name) = 0;
};
