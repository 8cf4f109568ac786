#include "tools/bridge/dimmer_line.h"

#include <utility>

#include "control/port_discovery.h"
#include "diagnosis/port_problem.h"
#include "tools/send/frame_sender.h"
#include "tools/send/open_failure.h"
#include "tools/send/port_argument.h"

DimmerLine::DimmerLine(CSerialPortFacade& port, std::string given, std::string name)
    : port_(port), given_(std::move(given)), name_(std::move(name)) {}

bool DimmerLine::write(const DimmerFrame& frame) {
    const auto size = static_cast<std::int32_t>(frame.size());
    // A port already known to be lost keeps the status that says why.
    if (stillThere() && port_.write(reinterpret_cast<const char*>(frame.data()), size) == size) {
        return true;
    }
    if (open_) {
        lose();
    }
    return false;
}

bool DimmerLine::stillThere() {
    if (open_ && !port_.isOpen()) {
        lose();
    }
    return open_;
}

void DimmerLine::lose() {
    lossStatus_ = port_.lastStatus();
    open_ = false;
    port_.close();
}

bool DimmerLine::reopen(std::string& failure) {
    failure.clear();
    const std::optional<std::string> listed =
        findListedPort(given_, listedPorts(systemPortProbe()), systemPortNaming());
    if (!listed) {
        return false;
    }
    const SerialStatus opened = openDimmerLine(port_, *listed);
    if (opened != SerialStatus::Success) {
        failure = explainOpenFailure(*listed, opened).message;
        return false;
    }
    name_ = *listed;
    open_ = true;
    return true;
}

std::string portLostMessage(const std::string& port, SerialStatus status) {
    return describeLostPort(port, status, portDevicePresent(port));
}
