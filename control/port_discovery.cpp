#include "control/port_discovery.h"

bool discoverPorts(PortList& list, PortProbe& probe) {
    bool found = false;
    for (const std::string& name : probe.presentPortNames()) {
        list.addPortName(name);
        const std::string description = probe.portDescription(name);
        if (!description.empty()) {
            list.setPortDescription(name, description);
        }
        found = true;
    }
    return found;
}

void refreshPortList(PortList& list, PortProbe& probe, const std::string& keep) {
    list.clearPortList();
    if (discoverPorts(list, probe)) {
        const int kept = keep.empty() ? -1 : list.findPortName(keep);
        list.selectPortName(kept >= 0 ? kept : list.portNameCount() - 1);
    }
}
