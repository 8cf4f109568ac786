#pragma once

#include <string>

#include "control/dimmer_frame.h"
#include "serial/port_facade.h"

// The dimmer's serial port while the bridge runs: frames are written to it, it is watched for going
// away, and once it has gone it is opened again when the system lists the port the user named (a
// link such as /dev/serial/by-id/... may lead to another device name by then).
class DimmerLine {
public:
    enum class Loss {
        DeviceGone,  // the device went away: unplugged, switched off, reset
        Stalled,     // the device is there but took no bytes for too long
    };

    // The port is open on the dimmer's line under name, which is what the user gave, as listed.
    DimmerLine(CSerialPortFacade& port, std::string given, std::string name);

    const std::string& name() const { return name_; }
    bool isOpen() const { return open_; }
    // Why the port was lost last.
    Loss loss() const { return loss_; }

    // Writes one frame. False when the port has gone or stopped taking frames: it is closed then.
    bool write(const DimmerFrame& frame);
    // False once the port has gone by itself (its receive thread saw the device go): it is closed then.
    bool stillThere();
    // Opens the port again if the system lists it; true once it is open. When it is listed but does
    // not open, failure says why (it stays empty while the port is not listed).
    bool reopen(std::string& failure);

private:
    void lose(Loss loss);

    CSerialPortFacade& port_;
    std::string given_;
    std::string name_;
    bool open_ = true;
    Loss loss_ = Loss::DeviceGone;
};

// "the port ttyUSB0 has gone away: its device was unplugged, switched off or reset", in words that
// say why, for a port that was lost while the bridge used it.
std::string portLostMessage(const std::string& port, DimmerLine::Loss loss);
