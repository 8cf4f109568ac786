#pragma once

#include <string>
#include <vector>

#include "control/port_list.h"

// Where the names of present serial ports come from: one implementation per platform, and fakes in
// the tests. A probe only looks names up; it never opens or touches a device.
class PortProbe {
public:
    virtual ~PortProbe() = default;
    // Names as the port's init takes them (COM3 on Windows, ttyUSB0 on Linux), in any order.
    virtual std::vector<std::string> presentPortNames() = 0;
    // What the device of a listed name is, as far as the system tells ("FTDI FT232R USB UART",
    // "virtual dimmer"); empty when it tells nothing.
    virtual std::string portDescription(const std::string& /*name*/) { return {}; }
};

// Adds every present port name, with its description, to the list; true when at least one was
// added. Never removes an entry and never chooses one.
bool discoverPorts(PortList& list, PortProbe& probe);

// Empties the list and discovers the ports again; then chooses the entry named keep when it is
// listed, and the last entry otherwise (when any was found).
void refreshPortList(PortList& list, PortProbe& probe, const std::string& keep = std::string());

// The probe of the platform this program runs on; lives as long as the program.
PortProbe& systemPortProbe();
