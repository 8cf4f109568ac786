#pragma once

#include <string>

#include "control/dimmer_frame.h"
#include "serial/port_facade.h"
#include "serial/serial_status.h"

// One frame to one port, on the line the panel uses: 115200 baud, 8N1, no flow control.
struct SendReport {
    enum class Stage { Sent, OpenFailed, WriteFailed };

    Stage stage = Stage::Sent;
    SerialStatus status = SerialStatus::Success;  // the port's reason when a stage failed
};

// Opens the port on that line. Success, or the port's reason when it did not open.
SerialStatus openDimmerLine(CSerialPortFacade& port, const std::string& portName);

// Opens the port, writes the six bytes in one write, waits until they have left the port and closes
// it. Nothing is written when the port does not open. A write that takes fewer than six bytes, or
// output that does not drain, is a failure: closing discards what is still queued, so a frame
// reported as sent has really gone out.
SendReport sendFrame(CSerialPortFacade& port, const std::string& portName, const DimmerFrame& frame);
