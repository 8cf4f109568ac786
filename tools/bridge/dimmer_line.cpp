#include "tools/bridge/dimmer_line.h"

#include <utility>

#include "control/port_discovery.h"
#include "tools/send/frame_sender.h"
#include "tools/send/open_failure.h"
#include "tools/send/port_argument.h"

DimmerLine::DimmerLine(CSerialPortFacade& port, std::string given, std::string name)
    : port_(port), given_(std::move(given)), name_(std::move(name)) {}

bool DimmerLine::write(const DimmerFrame& frame) {
    const auto size = static_cast<std::int32_t>(frame.size());
    if (port_.write(reinterpret_cast<const char*>(frame.data()), size) == size) {
        return true;
    }
    lose(port_.isOpen() ? Loss::Stalled : Loss::DeviceGone);
    return false;
}

bool DimmerLine::stillThere() {
    if (open_ && !port_.isOpen()) {
        lose(Loss::DeviceGone);
    }
    return open_;
}

void DimmerLine::lose(Loss loss) {
    loss_ = loss;
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

std::string portLostMessage(const std::string& port, DimmerLine::Loss loss) {
    return loss == DimmerLine::Loss::DeviceGone
               ? "the port " + port + " has gone away: its device was unplugged, switched off or reset"
               : "the port " + port + " stopped taking frames: nothing could be written to it for a while";
}
