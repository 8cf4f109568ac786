#pragma once

#include <string>

#include "control/port_discovery.h"

// Linux serial ports: the ttys in the kernel's class directory that have hardware behind them, plus
// the live virtual ports that the virtual dimmer publishes in a private directory. Names are bare
// device names (ttyUSB0, ttyACM0) or the virtual ports' names; the serial backend resolves them when
// it opens one.
//
// A tty counts as a serial port when its class entry has a device link and its node exists in the
// device directory. Legacy UART nodes (ttyS*) exist whether or not a chip is behind them; their
// "type" attribute reads 0 when there is none, and those are left out. Nothing is opened.
class SysfsPortProbe : public PortProbe {
public:
    SysfsPortProbe(std::string ttyClassDir, std::string deviceDir, std::string virtualPortDir);

    std::vector<std::string> presentPortNames() override;
    // A USB adapter's manufacturer and product, else the driver of the device; "virtual dimmer" for
    // a virtual port. Read from the class entry's device, never from the device itself.
    std::string portDescription(const std::string& name) override;

private:
    std::string ttyClassDir_;
    std::string deviceDir_;
    std::string virtualPortDir_;
};
