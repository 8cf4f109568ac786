#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "serial/port_settings.h"
#include "serial/read_notifier.h"
#include "serial/serial_port_listener.h"
#include "serial/serial_status.h"
#include "serial/sync.h"

// The abstract serial port every platform backend implements. No operation throws: failures are
// results (false, or -1 for byte counts) and a SerialStatus recorded in the port, which stays until a
// later failure replaces it or clearStatus resets it.
//
// The status, I/O mode, notification delay, threshold and listener are read by the receive thread
// while the owner may change them, so they are atomic.
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

    // Who hears of received bytes; not owned. Set by the facade.
    void setListener(kelso::CSerialPortListener* listener) { listener_ = listener; }
    kelso::CSerialPortListener* listener() { return listener_; }

protected:
    IoMode ioMode() { return ioMode_; }
    void recordStatus(SerialStatus status) { status_ = status; }
    kelso::IMutex* mutex() { return mutex_.get(); }
    // Tells the listener, from the receive thread, that the receive buffer now holds byteCount bytes:
    // directly when the delay is 0, otherwise through the notifier.
    void tellListener(unsigned int byteCount);
    // The same with the name to report given by the caller: a receive thread reports the name it was
    // started with, and so never reads the name field that init or setPortName may be rewriting.
    void tellListener(const char* portName, unsigned int byteCount);
    // Ends a pending delayed notification and joins its thread. A backend calls it in its destructor,
    // after its receive thread has ended and before the members the listener might reach go.
    void stopNotifier() { notifier_.reset(); }

private:
    std::atomic<SerialStatus> status_{SerialStatus::Success};
    std::atomic<IoMode> ioMode_{IoMode::Asynchronous};
    std::atomic<std::uint32_t> readNotifyDelay_{50};
    std::atomic<std::uint32_t> readThreshold_{1};
    std::unique_ptr<kelso::IMutex> mutex_;
    std::atomic<kelso::CSerialPortListener*> listener_{nullptr};
    std::unique_ptr<ReadNotifier> notifier_;

protected:
    // Backends store the delay and the threshold through these.
    void storeReadNotifyDelay(std::uint32_t milliseconds) { readNotifyDelay_ = milliseconds; }
    void storeReadThreshold(std::uint32_t byteCount) { readThreshold_ = byteCount; }
};
