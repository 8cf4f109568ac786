#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "serial/port_settings.h"
#include "serial/receive_buffer.h"
#include "serial/serial_port_base.h"

// The serial port on the Windows communications functions of kernel32.
//
// The line settings live in plain fields (what the getters report) and in a working COMMCONFIG whose
// DCB is changed member by member and handed whole to the device. In Asynchronous mode the device is
// opened for overlapped I/O and a receive thread moves every batch of incoming bytes into the ring
// buffer and tells the listener; in Synchronous mode no thread runs and reads go to the device.
//
// The port has one owning thread. The receive thread is owned by the port: close and the destructor
// stop it and wait for it, so a handle it copied is never reused under it and nothing it uses goes
// before it has ended. A listener may call the port, close included (an open from the listener then
// fails with InternalError, as the old thread is still running it), but must not destroy it.
class CSerialPortWinBase : public CSerialPortBase {
public:
    CSerialPortWinBase();
    // Closes the port first if it is open.
    ~CSerialPortWinBase() override;

    void init(const char* portName, std::int32_t baudRate, Parity parity, std::int32_t dataBits,
              StopBits stopBits, FlowControl flowControl, std::uint32_t readBufferSize) override;
    bool open() override;
    void close() override;
    bool isOpen() override;
    std::int32_t bytesAvailable() override;
    std::int32_t read(char* buffer, std::int32_t size) override;
    std::int32_t readAll(char* buffer) override;
    std::int32_t readLine(char* buffer, std::int32_t size) override;
    std::int32_t write(const char* data, std::int32_t size) override;
    void setOption(std::int32_t value) override;
    void setReadNotifyDelay(std::uint32_t milliseconds) override;
    void setReadThreshold(std::uint32_t byteCount) override;
    bool flush() override;
    bool purgeInput() override;
    bool purgeOutput() override;
    void setPortName(const char* portName) override;
    const char* portName() override;
    void setBaudRate(std::int32_t baudRate) override;
    std::int32_t baudRate() override;
    void setParity(Parity parity) override;
    Parity parity() override;
    void setDataBits(std::int32_t dataBits) override;
    std::int32_t dataBits() override;
    void setStopBits(StopBits stopBits) override;
    StopBits stopBits() override;
    void setFlowControl(FlowControl flowControl) override;
    FlowControl flowControl() override;
    void setReadBufferSize(std::uint32_t size) override;
    std::uint32_t readBufferSize() override;
    void setDtr(bool on) override;
    void setRts(bool on) override;

    // Reads straight from the device, whatever the mode: what the receive thread uses to empty the
    // device's input queue. Bytes read, or -1.
    virtual std::int32_t readDevice(char* buffer, std::int32_t size);

private:
    // The open itself, under the lock; false leaves it to open to close the port.
    bool openLocked();
    // The mode that decides how read, write and bytesAvailable work: the one the device was opened
    // with while it is open, the current one while it is closed.
    bool asynchronousNow();
    // One overlapped (or plain) transfer with the device; -1 after recording failStatus.
    std::int32_t transfer(bool writing, char* buffer, std::int32_t size, OVERLAPPED& record,
                          SerialStatus failStatus);
    void applyConfiguration();
    void joinReceiveThread();

    void receiveThreadProc(HANDLE device, OVERLAPPED eventRecord);
    // Waits for the device's character event; false when the wait failed or ended without one.
    bool waitForCharacters(HANDLE device, OVERLAPPED& eventRecord);
    // Moves the device's input queue into the ring buffer and tells the listener, once at least the
    // read threshold is queued. True when it took bytes.
    bool takeQueued(HANDLE device);
    // Waits until the stop event is set or milliseconds have passed.
    void pause(DWORD milliseconds);

    PortSettings settings_;
    std::atomic<HANDLE> device_{INVALID_HANDLE_VALUE};
    std::thread receiveThread_;
    OVERLAPPED eventRecord_{};
    OVERLAPPED readRecord_{};
    OVERLAPPED writeRecord_{};
    COMMCONFIG config_{};
    COMMTIMEOUTS timeouts_{};
    std::atomic<bool> running_{false};
    ReceiveBuffer receiveBuffer_;

    // Set by close to wake the receive thread out of any wait, including a back-off pause.
    HANDLE stopEvent_ = nullptr;
    // How the device was opened; fixed until it is closed.
    bool openedAsynchronous_ = true;
};
