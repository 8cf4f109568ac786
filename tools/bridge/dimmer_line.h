#pragma once

#include <string>

#include "control/dimmer_frame.h"
#include "serial/port_facade.h"

// The dimmer's serial port while the bridge runs: frames are written to it, it is watched for going
// away, and once it has gone it is opened again when the system lists the port the user named (a
// link such as /dev/serial/by-id/... may lead to another device name by then).
class DimmerLine {
public:
    // The port is open on the dimmer's line under name, which is what the user gave, as listed.
    DimmerLine(CSerialPortFacade& port, std::string given, std::string name);

    const std::string& name() const { return name_; }
    bool isOpen() const { return open_; }
    // The port's own word for the failure that lost it last.
    SerialStatus lossStatus() const { return lossStatus_; }

    // Writes one frame. False when the port has gone or stopped taking frames: it is closed then.
    bool write(const DimmerFrame& frame);
    // False once the port has gone by itself (its receive thread saw the device go): it is closed then.
    bool stillThere();
    // Opens the port again if the system lists it; true once it is open. When it is listed but does
    // not open, failure says why (it stays empty while the port is not listed).
    bool reopen(std::string& failure);

private:
    void lose();

    CSerialPortFacade& port_;
    std::string given_;
    std::string name_;
    bool open_ = true;
    SerialStatus lossStatus_ = SerialStatus::Success;
};

// "port ttyUSB0 has gone: the adapter was unplugged, ...", or that it stopped answering: the words
// every Lumenta program has for a port that was lost while in use.
std::string portLostMessage(const std::string& port, SerialStatus status);
