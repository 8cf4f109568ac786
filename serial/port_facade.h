#pragma once

#include <cstdint>
#include <memory>

#include "control/panel_port.h"
#include "serial/serial_port_base.h"

// The application's owner of its one serial port: creates the platform's backend, tunes it for the
// panel (listener called straight from the receive thread for every chunk), forwards what the panel
// needs, and releases the port when it goes.
class CSerialPortFacade : public PanelPort {
public:
    // The platform's backend, with read-notification delay 0 and read threshold 1.
    CSerialPortFacade();
    // Takes the given port as it is; a null port makes a facade that does nothing.
    explicit CSerialPortFacade(std::unique_ptr<CSerialPortBase> port);
    // An open port is closed, and its threads joined, as the port goes.
    ~CSerialPortFacade() override;

    // A null listener leaves the earlier one registered.
    void connectListener(kelso::CSerialPortListener* listener);
    // Who hears at once, on the receive thread, that the open port's device has gone; the same rule.
    void connectLossListener(kelso::CPortLossListener* listener);

    void init(const char* portName, std::int32_t baudRate, std::int32_t parity, std::int32_t dataBits,
              std::int32_t stopBits, std::int32_t flowControl, std::uint32_t readBufferSize) override;
    bool open() override;
    void close() override;
    bool isOpen() override;
    std::int32_t write(const char* data, std::int32_t size) override;

    // Why the port's latest failing operation failed (NullPointer without a port): after isOpen() has
    // turned false by itself, ReadFailed or WriteFailed say that the device has gone.
    SerialStatus lastStatus();

    CSerialPortBase* port() { return port_.get(); }

private:
    std::unique_ptr<CSerialPortBase> port_;
};

// The backend of the platform this program is built for.
std::unique_ptr<CSerialPortBase> createPlatformPort();
