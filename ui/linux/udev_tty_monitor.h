#pragma once

#include <memory>
#include <string>

#include "ui/linux/port_event_source.h"

// udev's news of ttys coming and going (an adapter plugged in or pulled out). The news is taken from
// udev, not from the kernel: udev tells of a node only once it has set the node's group and mode, so
// a port listed at its news can be opened at once.
//
// Where no udev daemon runs (a container) the monitor hears nothing and the periodic rescan does the
// work.
class UdevTtyMonitor : public PortEventSource {
public:
    // The few calls into libudev the monitor makes; a test plays udev through a stand-in of its own,
    // as no udev daemon runs on every machine.
    class Calls {
    public:
        virtual ~Calls() = default;
        // A monitor of udev's events for the subsystem; its descriptor, or -1 when there is none.
        virtual int openMonitor(const char* subsystem) = 0;
        // The action ("add", "remove", "change", ...) of the next device that waits; empty when none.
        virtual std::string receiveAction() = 0;
    };

    // libudev itself.
    static std::unique_ptr<Calls> libudevCalls();

    explicit UdevTtyMonitor(std::unique_ptr<Calls> calls);

    int descriptor() const override { return descriptor_; }
    // True when a tty was added or removed.
    bool takeNews() override;

private:
    std::unique_ptr<Calls> calls_;
    int descriptor_;
};
