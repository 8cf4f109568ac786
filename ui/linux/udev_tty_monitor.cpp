#include "ui/linux/udev_tty_monitor.h"

#include <libudev.h>

#include <utility>

namespace {

class Libudev : public UdevTtyMonitor::Calls {
public:
    ~Libudev() override {
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
        }
        if (udev_ != nullptr) {
            udev_unref(udev_);
        }
    }

    int openMonitor(const char* subsystem) override {
        udev_ = udev_new();
        monitor_ = udev_ != nullptr ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
        if (monitor_ == nullptr ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            return -1;
        }
        return udev_monitor_get_fd(monitor_);
    }

    // The monitor's socket does not block: with nothing waiting this returns at once.
    std::string receiveAction() override {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) {
            return {};
        }
        const char* action = udev_device_get_action(device);
        std::string text = action != nullptr && *action != '\0' ? action : "unknown";
        udev_device_unref(device);
        return text;
    }

private:
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<UdevTtyMonitor::Calls> UdevTtyMonitor::libudevCalls() {
    return std::make_unique<Libudev>();
}

UdevTtyMonitor::UdevTtyMonitor(std::unique_ptr<Calls> calls)
    : calls_(std::move(calls)), descriptor_(calls_->openMonitor("tty")) {}

bool UdevTtyMonitor::takeNews() {
    bool news = false;
    if (descriptor_ < 0) {
        return news;
    }
    for (std::string action = calls_->receiveAction(); !action.empty(); action = calls_->receiveAction()) {
        news = news || action == "add" || action == "remove";
    }
    return news;
}
