#include "serial/serial_port_base.h"

CSerialPortBase::CSerialPortBase()
    : mutex_(std::make_unique<kelso::IMutex>()), notifier_(std::make_unique<ReadNotifier>()) {}

// The notifier goes first: its thread may still be calling the listener, and nothing it reaches may
// go before it has been joined.
CSerialPortBase::~CSerialPortBase() {
    notifier_.reset();
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

void CSerialPortBase::tellListener(unsigned int byteCount) {
    tellListener(portName(), byteCount);
}

void CSerialPortBase::tellListener(const char* portName, unsigned int byteCount) {
    kelso::CSerialPortListener* target = listener_;
    if (target == nullptr) {
        return;
    }
    const std::uint32_t delay = readNotifyDelay();
    if (delay == 0) {
        target->onDataReceived(portName, byteCount);
    } else if (notifier_) {
        notifier_->post(target, delay, portName, byteCount);
    }
}
