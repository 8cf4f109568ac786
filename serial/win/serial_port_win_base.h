#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "serial/port_session.h"
#include "serial/port_settings.h"
#include "serial/serial_port_base.h"
#include "serial/win/comm_api.h"

struct WinSession;

// The serial port on the Windows communications functions of kernel32, reached through WinCommApi.
//
// The line settings live in plain fields (what the getters report) and in a working COMMCONFIG whose
// DCB is changed member by member and handed whole to the device. In Asynchronous mode the device is
// opened for overlapped I/O and a receive thread moves every batch of incoming bytes into the ring
// buffer and tells the listener; in Synchronous mode no thread runs and reads go to the device. The
// I/O mode is the one of the open until the port is closed.
//
// The receive thread sleeps in the device's wait for characters and, when woken, takes the whole
// input queue once at least readThreshold() bytes are queued. A device that cannot wait (under Wine on
// a pseudo-terminal every wait fails at once) is noticed by its failing waits: after three in a row
// the thread looks at the input queue every 10 ms instead and tries the wait again every second.
//
// Opening, closing and the end of the port follow the lifecycle every backend shares
// (serial_port_base.h): close aborts the transfers under way (PurgeComm) and the receive thread's wait
// before it waits for anything, and a listener may close, reopen and destroy the port. Output that a
// write reported as written is not discarded by the close that follows: what the driver still queues
// gets closeStallLimitMs to leave while the line takes none of it.
//
// When the device goes away (a USB adapter unplugged; under Wine, the pseudo-terminal's other side
// closed), seen as a failing queue query or transfer with an error that means so (ERROR_NOT_READY,
// ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_ACCESS_DENIED on the open handle, ERROR_DEVICE_REMOVED
// and the like), or as device waits that keep failing with such errors, the receive thread records
// ReadFailed and ends (a write that finds it gone first records WriteFailed, and the thread then
// records nothing over it), and from then on isOpen() is false: reads and writes are refused as
// NotOpen. The handle stays the port's until close(), or the next open(), which releases it as close
// would and then opens the device afresh.
//
// A write is complete or a failure. It gives up with WriteFailed when the device takes none of it for
// writeStallLimitMs(baud) (about 1.9 s at 115200 baud), as on every backend: an overlapped write is
// watched while it pends and cancelled then; a plain one is ended by the driver's time-outs, which
// give it as long as its bytes need on the line and that limit besides. A write the device ends early
// records WriteFailed and gives -1.
class CSerialPortWinBase : public CSerialPortBase, protected PortDevice {
public:
    // On kernel32.
    CSerialPortWinBase();
    // On the given calls (not owned; they must outlive the port).
    explicit CSerialPortWinBase(WinCommApi& api);
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

protected:
    // The device steps of the shared lifecycle.
    std::shared_ptr<PortSession> openDevice(bool asynchronous) override;
    bool startThread(PortSession& session, std::function<void()> body) override;
    void receiveLoop(PortSession& session) override;
    void interruptDevice(PortSession& session) override;
    void releaseDevice(PortSession& session) override;

private:
    enum class WaitResult { Characters, Nothing, Failed, Stopped };

    // Under the port's mutex: the device being opened or held (also once it has gone), or invalid.
    HANDLE heldDevice();
    // Under the port's mutex: one transfer with the device, overlapped or plain as it was opened. False
    // with the error when it failed; a write the device ended early fails with ERROR_WRITE_FAULT.
    bool transfer(WinSession& session, bool writing, char* buffer, DWORD length, DWORD& count, DWORD& error);
    // The bytes queued in the driver's output, or MAXDWORD when the device cannot tell.
    DWORD queuedOutput(HANDLE device);
    // At close: whether the output queued in the driver leaves while the line takes it (closeStallLimitMs
    // without progress); false when it stays, or the device cannot tell.
    bool outputDrains(HANDLE device);
    // Waits for an overlapped transfer of this thread, and cancels it once the device has taken none of
    // it for the stall limit.
    bool awaitTransfer(WinSession& session, bool writing, OVERLAPPED& record, DWORD& count, DWORD& error);
    // The owner's transfers: under the port's mutex, with the status recorded on failure.
    std::int32_t ownerTransfer(bool writing, char* buffer, std::int32_t size, SerialStatus failStatus);
    void applyConfiguration();

    WaitResult waitForCharacters(WinSession& session, DWORD& error);
    // Moves the device's input queue into the ring buffer and tells the listener, once at least the
    // read threshold is queued. False when the device has gone.
    bool takeQueued(WinSession& session, std::unique_lock<std::mutex>& deviceUse);
    // Waits until the session is stopped or milliseconds have passed.
    void pause(WinSession& session, DWORD milliseconds);

    WinCommApi& api_;
    HANDLE opening_ = INVALID_HANDLE_VALUE;  // the device open() is setting up
    OVERLAPPED readRecord_{};
    OVERLAPPED writeRecord_{};
    COMMCONFIG config_{};
    COMMTIMEOUTS timeouts_{};
};
