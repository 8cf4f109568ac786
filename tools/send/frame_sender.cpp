#include "tools/send/frame_sender.h"

#include "control/panel_controller.h"

namespace {

SerialStatus recordedStatus(CSerialPortFacade& port, SerialStatus fallback) {
    const SerialStatus status =
        port.port() != nullptr ? port.port()->lastStatus() : SerialStatus::NullPointer;
    return status != SerialStatus::Success ? status : fallback;
}

}  // namespace

SerialStatus openDimmerLine(CSerialPortFacade& port, const std::string& portName) {
    if (port.port() == nullptr) {
        return SerialStatus::NullPointer;
    }
    port.port()->clearStatus();
    port.init(portName.c_str(), PanelController::kBaudRate, PanelController::kParityNone,
              PanelController::kDataBits, PanelController::kStopBitsOne, PanelController::kFlowControlNone,
              PanelController::kReadBufferSize);
    port.open();
    return port.isOpen() ? SerialStatus::Success : recordedStatus(port, SerialStatus::OpenFailed);
}

SendReport sendFrame(CSerialPortFacade& port, const std::string& portName, const DimmerFrame& frame) {
    const SerialStatus opened = openDimmerLine(port, portName);
    if (opened != SerialStatus::Success) {
        return {SendReport::Stage::OpenFailed, opened};
    }

    const auto size = static_cast<std::int32_t>(frame.size());
    const bool written = port.write(reinterpret_cast<const char*>(frame.data()), size) == size;
    const bool drained = written && port.port()->flush();
    SendReport report;
    if (!drained) {
        report = {SendReport::Stage::WriteFailed, recordedStatus(port, SerialStatus::WriteFailed)};
    }
    port.close();
    return report;
}
