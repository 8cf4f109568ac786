#include "serial/serial_port_base.h"

CSerialPortBase::CSerialPortBase()
    : mutex_(std::make_unique<kelso::IMutex>()),
      gate_(std::make_shared<ListenerGate>(&status_)),
      notifier_(std::make_unique<ReadNotifier>()) {}

// The backend's destructor has ended the port (endPort). The notifier goes first: its thread may still
// be calling the listener, and nothing it reaches may go before it has been joined (or, destroyed from
// inside a listener call, let go: it keeps the gate alive).
CSerialPortBase::~CSerialPortBase() {
    gate_->forbid();
    notifier_.reset();
    gate_->detachStatus();
    mutex_.reset();
}

void CSerialPortBase::setIoMode(IoMode mode) {
    ioMode_ = mode;
}

std::uint32_t CSerialPortBase::readNotifyDelay() {
    return readNotifyDelay_;
}

std::uint32_t CSerialPortBase::readThreshold() {
    return readThreshold_;
}

SerialStatus CSerialPortBase::lastStatus() {
    return status_;
}

const char* CSerialPortBase::lastStatusMessage() {
    return serialStatusMessage(static_cast<std::int32_t>(status_.load()));
}

void CSerialPortBase::clearStatus() {
    status_ = SerialStatus::Success;
}

void CSerialPortBase::tellListener(PortSession& session, unsigned int byteCount,
                                   std::unique_lock<std::mutex>& deviceUse) {
    const char* portName = session.portName;
    // A share of the gate: the listener may destroy the port, and the call returns into the gate.
    const std::shared_ptr<ListenerGate> gate = gate_;
    const std::uint32_t delay = readNotifyDelay();
    if (gate->listener() != nullptr && delay > 0) {
        // Still in the device, so that a close drops this post only once it has been made.
        notifier_->post(gate, delay, portName, byteCount);
    }
    deviceUse.unlock();
    if (delay == 0) {
        gate->onDataReceived(portName, byteCount, session.running);
    }
}
