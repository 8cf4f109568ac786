#include "serial/port_facade.h"

#include <utility>

CSerialPortFacade::CSerialPortFacade(std::unique_ptr<CSerialPortBase> port) : port_(std::move(port)) {}

CSerialPortFacade::~CSerialPortFacade() = default;

void CSerialPortFacade::connectListener(kelso::CSerialPortListener* listener) {
    if (port_ && listener != nullptr) {
        port_->setListener(listener);
    }
}

void CSerialPortFacade::connectLossListener(kelso::CPortLossListener* listener) {
    if (port_ && listener != nullptr) {
        port_->setLossListener(listener);
    }
}

void CSerialPortFacade::init(const char* portName, std::int32_t baudRate, std::int32_t parity,
                             std::int32_t dataBits, std::int32_t stopBits, std::int32_t flowControl,
                             std::uint32_t readBufferSize) {
    if (port_) {
        port_->init(portName, baudRate, static_cast<Parity>(parity), dataBits,
                    static_cast<StopBits>(stopBits), static_cast<FlowControl>(flowControl), readBufferSize);
    }
}

bool CSerialPortFacade::open() {
    return port_ && port_->open();
}

void CSerialPortFacade::close() {
    if (port_) {
        port_->close();
    }
}

bool CSerialPortFacade::isOpen() {
    return port_ && port_->isOpen();
}

std::int32_t CSerialPortFacade::write(const char* data, std::int32_t size) {
    return port_ ? port_->write(data, size) : -1;
}

SerialStatus CSerialPortFacade::lastStatus() {
    return port_ ? port_->lastStatus() : SerialStatus::NullPointer;
}
