#pragma once

#include <QString>
#include <string>

#include "serial/serial_status.h"

// The secondary text of the "port could not be opened" box: why, as far as the port knows, and for a
// permission refusal how a Linux user gets access. Empty when there is nothing useful to add.
// The port reports a refused permission and a port held by another program alike (AccessDenied);
// permissionRefused tells them apart.
QString portWarningDetails(const std::string& portName, SerialStatus status, const char* statusMessage,
                           bool permissionRefused);

// True when this user may not read and write the device that portName names: /dev/NAME, or the
// virtual port NAME.
bool portPermissionRefused(const std::string& portName);

// The secondary text of the "port disconnected" box: whether the device has gone (unplugged, or the
// program that served a virtual port has ended) or is still there but failed, and what to do next.
QString portLostDetails(const std::string& portName, SerialStatus status, const char* statusMessage,
                        bool devicePresent);

// True when the device that portName names is still there: /dev/NAME, or the virtual port NAME.
bool portDevicePresent(const std::string& portName);
