#pragma once

#include <memory>
#include <vector>

// News that serial devices may have come or gone, from a descriptor that turns readable when some
// waits: the window watches the descriptor with its event loop and, when it is readable, takes the
// news and tells the panel. Nothing is read or polled while nothing happens.
class PortEventSource {
public:
    virtual ~PortEventSource() = default;
    // The descriptor to watch; -1 when the source could not start (then the panel's periodic rescan
    // alone finds the changes).
    virtual int descriptor() const = 0;
    // Reads all the news that waits, without blocking; true when any of it may change the port list.
    virtual bool takeNews() = 0;
};

// The sources of this system: the watch on the virtual-port directory, and udev's news of ttys.
std::vector<std::unique_ptr<PortEventSource>> systemPortEventSources();
