#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/port_discovery.h"

// How this platform spells its serial ports beyond the bare names the panel lists.
struct PortNaming {
    std::string devicePrefix;  // "/dev/" on Linux, "\\.\" on Windows
    bool ignoreCase = false;   // Windows device names are not case-sensitive
    // The device name a link leads to (/dev/serial/by-id/usb-...-port0 or a udev rule's
    // /dev/lumenta-dimmer lead to ttyUSB0), or empty; none on Windows.
    std::function<std::string(const std::string&)> deviceBehind;
};

PortNaming systemPortNaming();

// Why some ports are not listed (on Linux: a virtual-port directory that is not private, or for the
// name given, a virtual port whose dimmer no longer runs), or empty.
std::string unlistedPortsNote(const std::string& given = "");

// The ports the panel would list, in the list's text order (COM1, COM10, COM2).
std::vector<std::string> listedPorts(PortProbe& probe);

// The listed port that a --port value names: a listed name itself, one behind the platform's device
// prefix (/dev/ttyUSB0 for ttyUSB0), or the listed device a link leads to. Nothing else is accepted,
// so a name that the panel would not offer (a terminal, a console, a file) is never opened. Empty
// when no listed port matches.
std::optional<std::string> findListedPort(const std::string& given, const std::vector<std::string>& listed,
                                          const PortNaming& naming);

// "unknown port 'NAME'; the ports are: A B (PROGRAM --list)", or "... no serial ports are listed ...",
// and on a line of its own why ports may be missing from the list, if anything says so.
std::string unknownPortMessage(const std::string& given, const std::vector<std::string>& listed,
                               const std::string& program);

// The listed ports, one a line, each followed by what its device is when the system tells, in a column
// of its own ("COM3   USB Serial Port"): the name is always the line's first word.
std::string listedPortsText(PortProbe& probe);

// What PROGRAM --list does: listedPortsText on standard output, and on standard error a note when no
// port is listed, and why ports may be missing.
void printListedPorts(PortProbe& probe, const std::string& program);
