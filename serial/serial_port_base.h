#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "serial/listener_gate.h"
#include "serial/port_settings.h"
#include "serial/read_notifier.h"
#include "serial/serial_port_listener.h"
#include "serial/serial_status.h"
#include "serial/sync.h"

// The abstract serial port every platform backend implements. No operation throws: failures are
// results (false, or -1 for byte counts) and a SerialStatus recorded in the port, which stays until a
// later failure replaces it or clearStatus resets it.
//
// The status, I/O mode, notification delay and threshold are read by the receive thread while the
// owner may change them, so they are atomic.
//
// The listener is called on the library's threads only, never with a lock of the port held, so it may
// call the port, read, write, close and open included, and may even destroy it. Once setListener has
// returned (or close has), the old listener is not called again: a call running on another thread is
// waited for first. An exception thrown by the listener is caught and recorded as UnknownError, and
// the port goes on.
class CSerialPortBase {
public:
    CSerialPortBase();
    virtual ~CSerialPortBase();
    CSerialPortBase(const CSerialPortBase&) = delete;
    CSerialPortBase& operator=(const CSerialPortBase&) = delete;

    virtual void init(const char* portName, std::int32_t baudRate, Parity parity, std::int32_t dataBits,
                      StopBits stopBits, FlowControl flowControl, std::uint32_t readBufferSize) = 0;
    virtual void setIoMode(IoMode mode);
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() = 0;
    virtual std::int32_t bytesAvailable() = 0;
    virtual std::int32_t read(char* buffer, std::int32_t size) = 0;
    // The buffer must hold bytesAvailable() bytes.
    virtual std::int32_t readAll(char* buffer) = 0;
    virtual std::int32_t readLine(char* buffer, std::int32_t size) = 0;
    virtual std::int32_t write(const char* data, std::int32_t size) = 0;
    virtual void setOption(std::int32_t value) = 0;
    virtual void setReadNotifyDelay(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t readNotifyDelay();
    virtual void setReadThreshold(std::uint32_t byteCount) = 0;
    virtual std::uint32_t readThreshold();
    virtual bool flush() = 0;
    virtual bool purgeInput() = 0;
    virtual bool purgeOutput() = 0;
    virtual SerialStatus lastStatus();
    virtual const char* lastStatusMessage();
    virtual void clearStatus();
    virtual void setPortName(const char* portName) = 0;
    virtual const char* portName() = 0;
    virtual void setBaudRate(std::int32_t baudRate) = 0;
    virtual std::int32_t baudRate() = 0;
    virtual void setParity(Parity parity) = 0;
    virtual Parity parity() = 0;
    virtual void setDataBits(std::int32_t dataBits) = 0;
    virtual std::int32_t dataBits() = 0;
    virtual void setStopBits(StopBits stopBits) = 0;
    virtual StopBits stopBits() = 0;
    virtual void setFlowControl(FlowControl flowControl) = 0;
    virtual FlowControl flowControl() = 0;
    virtual void setReadBufferSize(std::uint32_t size) = 0;
    virtual std::uint32_t readBufferSize() = 0;
    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;

    // Who hears of received bytes; not owned. Set by the facade. Replacing or removing it waits for a
    // call of the old one running on another thread.
    void setListener(kelso::CSerialPortListener* listener) { gate_->setListener(listener); }
    kelso::CSerialPortListener* listener() { return gate_->listener(); }

protected:
    IoMode ioMode() { return ioMode_; }
    void recordStatus(SerialStatus status) { status_ = status; }
    kelso::IMutex* mutex() { return mutex_.get(); }
    // Tells the listener, from the receive thread, that the receive buffer now holds byteCount bytes:
    // directly when the delay is 0, otherwise through the notifier. portName is the name the thread
    // was started with, so it never reads the name field that init or setPortName may be rewriting.
    // Once the listener has been called, nothing of the port is touched: it may be gone.
    void tellListener(const char* portName, unsigned int byteCount);
    // Open allows listener calls just before its receive thread starts; close forbids them, drops a
    // pending delayed notification and waits for calls running on other threads.
    void allowListenerCalls() { gate_->allow(); }
    void forbidListenerCalls();
    // Open and close hold this for their whole run, so that they never overlap. From inside a
    // listener call it is only tried (the lock is then not owned when another thread holds it): that
    // other thread may be a close waiting for this very call to return.
    std::unique_lock<std::mutex> lockLifecycle();

private:
    std::atomic<SerialStatus> status_{SerialStatus::Success};
    std::atomic<IoMode> ioMode_{IoMode::Asynchronous};
    std::atomic<std::uint32_t> readNotifyDelay_{50};
    std::atomic<std::uint32_t> readThreshold_{1};
    std::unique_ptr<kelso::IMutex> mutex_;
    // Shared with the library's threads, which may outlive the port by the end of a listener call.
    std::shared_ptr<ListenerGate> gate_;
    std::unique_ptr<ReadNotifier> notifier_;
    std::mutex lifecycle_;

protected:
    // Backends store the delay and the threshold through these.
    void storeReadNotifyDelay(std::uint32_t milliseconds) { readNotifyDelay_ = milliseconds; }
    void storeReadThreshold(std::uint32_t byteCount) { readThreshold_ = byteCount; }
};
