#pragma once

#include "serial/serial_port_base.h"

// A port with no device: it opens and closes through the shared lifecycle (its receive thread ends at
// once), and every other operation is inert. It lets the tests reach what the base class
// itself does, and exposes the protected helpers.
class StubPort : public CSerialPortBase, protected PortDevice {
public:
    PortSettings settings;

    StubPort() { attachDevice(*this); }
    ~StubPort() override { endPort(); }

    void init(const char* name, std::int32_t, Parity, std::int32_t, StopBits, FlowControl,
              std::uint32_t) override {
        copyPortName(settings.portName, name);
    }
    bool open() override { return openPort(); }
    void close() override { closePort(); }
    bool isOpen() override { return portOpen(); }
    std::int32_t bytesAvailable() override { return 0; }
    std::int32_t read(char*, std::int32_t) override { return 0; }
    std::int32_t readAll(char*) override { return 0; }
    std::int32_t readLine(char*, std::int32_t) override { return -1; }
    std::int32_t write(const char*, std::int32_t size) override { return portOpen() ? size : -1; }
    void setOption(std::int32_t) override {}
    void setReadNotifyDelay(std::uint32_t ms) override { storeReadNotifyDelay(ms); }
    void setReadThreshold(std::uint32_t n) override { storeReadThreshold(n); }
    bool flush() override { return false; }
    bool purgeInput() override { return false; }
    bool purgeOutput() override { return false; }
    void setPortName(const char* name) override { copyPortName(settings.portName, name); }
    const char* portName() override { return settings.portName; }
    void setBaudRate(std::int32_t) override {}
    std::int32_t baudRate() override { return settings.baudRate; }
    void setParity(Parity) override {}
    Parity parity() override { return settings.parity; }
    void setDataBits(std::int32_t) override {}
    std::int32_t dataBits() override { return settings.dataBits; }
    void setStopBits(StopBits) override {}
    StopBits stopBits() override { return settings.stopBits; }
    void setFlowControl(FlowControl) override {}
    FlowControl flowControl() override { return settings.flowControl; }
    void setReadBufferSize(std::uint32_t) override {}
    std::uint32_t readBufferSize() override { return settings.readBufferSize; }
    void setDtr(bool) override {}
    void setRts(bool) override {}

    std::shared_ptr<PortSession> openDevice(bool) override { return last_ = std::make_shared<PortSession>(); }
    void receiveLoop(PortSession&) override {}
    void interruptDevice(PortSession&) override {}
    void releaseDevice(PortSession&) override {}

    using CSerialPortBase::ioMode;
    using CSerialPortBase::recordStatus;

    // What the receive thread of the last opening does once it has stored byteCount bytes.
    void tellListener(const char* name, unsigned int byteCount) {
        std::unique_lock<std::mutex> use(last_->deviceUse);
        copyPortName(last_->portName, name);
        CSerialPortBase::tellListener(*last_, byteCount, use);
    }

private:
    std::shared_ptr<PortSession> last_;
};
