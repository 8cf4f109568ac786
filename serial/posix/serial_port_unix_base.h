#pragma once

#include <cstdint>
#include <memory>

#include "serial/port_session.h"
#include "serial/port_settings.h"
#include "serial/serial_port_base.h"

struct ReceiveSession;

// The serial port on POSIX terminals (termios). Same contract as the Windows port: the same status
// codes for the same situations, the same refusal rules for line settings, and in Asynchronous mode a
// receive thread that moves what arrives into the ring buffer and tells the listener.
//
// Port names: a bare name is /dev/NAME or a published virtual port; an absolute path must lie in /dev
// or the virtual-port directory (port_path.h). The device is held exclusively while open: an advisory
// lock plus the terminal's exclusive mode, so that a second open from this or another process gets
// AccessDenied. The line runs raw: bytes pass untouched both ways.
//
// Stop bits: Linux has one or two. OneAndHalf is accepted with 5 data bits only and then selects the
// two-stop-bit setting, which UARTs send as one and a half stop bits for 5-bit characters.
//
// The receive thread waits in poll() on the device and on a wake-up descriptor, with no timeout, so
// an idle port costs nothing. The device is told to report itself readable only once readThreshold()
// characters are queued (the terminal's VMIN, up to 64), and each batch is then one read that takes
// exactly what is queued, into room for the whole input queue. For a threshold above 64 the thread
// asks the queued count and, while enough characters to be readable but fewer than the threshold
// wait, looks again every 10 ms.
//
// Opening, closing and the end of the port follow the lifecycle every backend shares
// (serial_port_base.h): close interrupts a write held up by the line and the receive thread's wait
// before it waits for anything, and a listener may close, reopen and destroy the port.
//
// The I/O mode is the one of the open until the port is closed: a mode set while open waits for the
// next open.
//
// When the device goes away (unplugged, or a pseudo-terminal's other side closed) the receive thread
// records ReadFailed and ends (a write that finds it gone first records WriteFailed, and the thread
// then records nothing over it), and from then on isOpen() is false: reads and writes are refused as
// NotOpen. The descriptor stays the port's until close(), or the next open(), which releases it as
// close would and then opens the device afresh.
//
// Without a receive buffer (no memory for it) the receive thread leaves what arrives in the device,
// as the Windows port does, until init gives the port a buffer again.
//
// Writes give up with WriteFailed when the device takes nothing for writeStallLimitMs(baud) (about
// 1.9 s at 115200 baud); flush waits for the output to drain under the same rule.
class CSerialPortUnixBase : public CSerialPortBase, protected PortDevice {
public:
    CSerialPortUnixBase();
    // Closes an open port: the receive thread is stopped and joined, and a listener call running on
    // another thread is waited for, before any member goes.
    ~CSerialPortUnixBase() override;

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

    // Reads straight from the device whatever the mode, with one read: what is there, at most size
    // bytes, possibly none; -1 with ReadFailed when the device fails, NotOpen on a port that is not
    // open, InvalidParam for a negative size, NullPointer for no buffer.
    virtual std::int32_t readDevice(char* buffer, std::int32_t size);

protected:
    // The device steps of the shared lifecycle.
    std::shared_ptr<PortSession> openDevice(bool asynchronous) override;
    void receiveLoop(PortSession& session) override;
    void interruptDevice(PortSession& session) override;
    void releaseDevice(PortSession& session) override;

private:
    // One batch of what the device has queued, read by the receive thread into its scratch room: the
    // count, 0 for nothing, or -1 when the device failed.
    std::int32_t readBatch(ReceiveSession& session, std::int32_t size);
    // Under the port's mutex: the descriptor of a device that is held and has not gone, or -1.
    int openDescriptor();
};
