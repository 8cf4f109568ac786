#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "serial/port_session.h"
#include "serial/port_settings.h"
#include "serial/receive_buffer.h"
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
// Opening and closing never overlap, and close releases the device exactly once, whether it is called
// by the owner, by the listener or by both at the same time. Close ends the receive thread's wait and
// joins it; called from inside the listener it leaves the thread to end on its own once the listener
// returns (the next open or close, or the destructor, joins it). After close returns the listener is
// not called again. A listener may close, reopen and even destroy the port.
//
// When the device goes away (a USB adapter unplugged; under Wine, the pseudo-terminal's other side
// closed), seen as a failing queue query or transfer with an error that means so (ERROR_NOT_READY,
// ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_ACCESS_DENIED on the open handle, ERROR_DEVICE_REMOVED
// and the like), or as device waits that keep failing with such errors, the receive thread records
// ReadFailed and ends (a write that finds it gone records WriteFailed), and from then on isOpen() is
// false: reads and writes are refused as NotOpen. The handle stays the port's until close(), or the
// next open(), which releases it as close would and then opens the device afresh.
//
// A write is complete or a failure: one the device ends early (a Synchronous write that ran out of its
// time) records WriteFailed and gives -1.
class CSerialPortWinBase : public CSerialPortBase {
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

private:
    enum class WaitResult { Characters, Nothing, Failed, Stopped };

    // Under the port's mutex: the open itself. On failure nothing of it is left.
    bool openClosedPort();
    // Under the lifecycle lock: ends the session, joins its thread, releases the device.
    void closeSession();
    std::shared_ptr<WinSession> currentSession();
    // The mode reads follow: the one of the open while a device is held, the current one otherwise.
    bool asynchronousNow();
    bool deviceHeld() { return device_.load() != INVALID_HANDLE_VALUE; }
    // One overlapped (or plain) transfer with the device; -1 after recording failStatus (and noting a
    // device that has gone).
    std::int32_t transfer(bool writing, char* buffer, std::int32_t size, OVERLAPPED& record,
                          SerialStatus failStatus);
    void applyConfiguration();
    // The device of this session has gone: isOpen() turns false and status is recorded, once, unless
    // the session is being closed.
    void markLost(WinSession& session, SerialStatus status);

    void receiveLoop(WinSession& session);
    WaitResult waitForCharacters(WinSession& session, DWORD& error);
    // Moves the device's input queue into the ring buffer and tells the listener, once at least the
    // read threshold is queued. False when the device has gone. Nothing of the port is touched after
    // the listener has been called.
    bool takeQueued(WinSession& session);
    // Waits until the session is stopped or milliseconds have passed.
    void pause(WinSession& session, DWORD milliseconds);

    WinCommApi& api_;
    PortSettings settings_;
    std::atomic<HANDLE> device_{INVALID_HANDLE_VALUE};  // the session's device; invalid without one
    std::atomic<bool> open_{false};
    std::atomic<bool> openedAsynchronous_{true};
    OVERLAPPED readRecord_{};
    OVERLAPPED writeRecord_{};
    COMMCONFIG config_{};
    COMMTIMEOUTS timeouts_{};
    ReceiveBuffer receiveBuffer_;

    std::mutex sessionLock_;  // guards session_; never held while waiting for a thread
    std::shared_ptr<WinSession> session_;
    ReceiveThreads threads_;
};
