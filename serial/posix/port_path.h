#pragma once

#include <string>

#include "serial/serial_status.h"

// Turns a port name into the path of the device to open. Nothing outside the device directory is
// ever named:
//   - a bare name (no '/') means /dev/NAME when that exists, else the virtual port NAME in
//     virtualDir (a symbolic link that the virtual dimmer publishes);
//   - an absolute path is accepted inside /dev or virtualDir, never with "." or ".." in it;
//   - whatever the name, every link is followed and the final target must be a character device
//     under /dev.
// Returns Success and the resolved path, or the status to record:
//   InvalidParam  the name breaks these rules (empty, relative with '/', "..", outside the
//                 directories, or a virtual port that leads out of /dev);
//   NotFound      no such device (also a virtual port whose pseudo-terminal has gone);
//   OpenFailed    the name leads to something that is not a character device.
SerialStatus resolvePortPath(const std::string& name, const std::string& virtualDir, std::string& path);
