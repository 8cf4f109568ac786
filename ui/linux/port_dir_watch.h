#pragma once

#include <string>

#include "ui/linux/port_event_source.h"

// Watches the virtual-port directory with inotify: a virtual dimmer publishing its port (a link made)
// or ending (its link removed, or its lock file closed when it was killed) is news at once.
//
// The directory is made (mode 0700) when missing, so that the first dimmer is seen too, and it is
// checked as every reader checks it (PortDirectory: private, reached without following links). The
// watch is then put on the very directory that was checked, through its open descriptor, so nobody
// can swap another in between. If the directory is removed or moved away, it is made and watched
// again. Only changes of entries count: the panel's own looks at the directory (listing it, taking a
// lock for an instant) are no news.
class PortDirWatch : public PortEventSource {
public:
    explicit PortDirWatch(std::string directory);
    ~PortDirWatch() override;
    PortDirWatch(const PortDirWatch&) = delete;
    PortDirWatch& operator=(const PortDirWatch&) = delete;

    int descriptor() const override { return inotify_; }
    bool takeNews() override;
    // Whether the directory is watched now (it may have been refused).
    bool watching() const { return watch_ >= 0; }

private:
    void watchDirectory();

    std::string directory_;
    int inotify_ = -1;
    int watch_ = -1;
};
