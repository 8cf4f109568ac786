#pragma once

#include <sys/types.h>

#include <string>

#include "serial/serial_status.h"

// Where a port name leads, found without opening anything.
struct PortTarget {
    std::string path;         // the device node to open
    dev_t device = 0;         // its device number; what is opened must be this device
    std::string virtualPort;  // the live virtual port that serves a pseudo-terminal, else empty
    std::string virtualDir;   // the directory of that port
};

// Turns a port name into the device to open. Nothing outside the device directory is ever named,
// and nothing is opened here:
//   - a bare name (no '/') means /dev/NAME when that exists, else the virtual port NAME in
//     virtualDir (a symbolic link that the virtual dimmer publishes);
//   - an absolute path is accepted inside /dev, or directly inside virtualDir, never with "." or
//     ".." in it;
//   - whatever the name, every link is followed and the end must be a serial line: a character
//     device of the kernel's tty subsystem (/sys/dev/char/MAJ:MIN names it), but never the
//     controlling terminal (/dev/tty), the console, a virtual console or the pseudo-terminal
//     multiplexer (/dev/ptmx);
//   - a pseudo-terminal slave (no tty-subsystem entry) is accepted only as the target of a live
//     virtual port, by that port's name or by its own path: one whose publisher still holds its lock. A link
//     left by a dimmer that was killed may lead to a terminal that has since gone to another program.
// Virtual ports are read only from a private directory (see PortDirectory).
// Returns Success and the target, or the status to record:
//   InvalidParam  the name breaks these rules (empty, relative with '/', "..", outside the
//                 directories, a link that leads out of /dev, a pseudo-terminal that no live
//                 virtual port serves);
//   NotFound      no such device or virtual port (also a stale virtual port, or one in a
//                 directory that is not private);
//   OpenFailed    the name leads to a device that is not a serial line.
SerialStatus resolvePortPath(const std::string& name, const std::string& virtualDir, PortTarget& target);

// After the open: true when the virtual port that served target still serves it (its publisher
// lives and its link still leads to that device). Always true for a target that is no virtual port.
bool isStillServed(const PortTarget& target);
