#include "common/virtual_port_dir.h"
#include "ui/linux/port_dir_watch.h"
#include "ui/linux/udev_tty_monitor.h"

std::vector<std::unique_ptr<PortEventSource>> systemPortEventSources() {
    std::vector<std::unique_ptr<PortEventSource>> sources;
    sources.push_back(std::make_unique<PortDirWatch>(virtualPortDirectory()));
    sources.push_back(std::make_unique<UdevTtyMonitor>(UdevTtyMonitor::libudevCalls()));
    return sources;
}
