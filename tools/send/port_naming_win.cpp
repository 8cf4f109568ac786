#include "tools/send/port_argument.h"

PortNaming systemPortNaming() {
    return PortNaming{"\\\\.\\", true, nullptr};
}

std::string unlistedPortsNote(const std::string&) {
    return "";
}
