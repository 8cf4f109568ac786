#include "control/port_discovery.h"

bool discoverPorts(PortList& list, PortProbe& probe) {
    bool found = false;
    for (const std::string& name : probe.presentPortNames()) {
        list.addPortName(name);
        found = true;
    }
    return found;
}

void refreshPortList(PortList& list, PortProbe& probe) {
    list.clearPortList();
    if (discoverPorts(list, probe)) {
        list.selectPortName(list.portNameCount() - 1);
    }
}
