#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/listener_gate.h"
#include "serial/port_session.h"
#include "serial/port_settings.h"
#include "serial/read_notifier.h"
#include "serial/receive_buffer.h"
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
    // Who hears at once that the open port's device has gone; not owned, replaced as the listener is.
    void setLossListener(kelso::CPortLossListener* listener) { gate_->setLossListener(listener); }

protected:
    IoMode ioMode() { return ioMode_; }
    void recordStatus(SerialStatus status) { status_ = status; }
    kelso::IMutex* mutex() { return mutex_.get(); }
    // Tells the listener, from the session's receive thread, that the receive buffer now holds
    // byteCount bytes: directly when the delay is 0, otherwise through the notifier. The name is the
    // one the thread was started with, so it never reads the name field that init or setPortName may
    // be rewriting. The thread leaves the device (deviceUse) after a post and before a direct call.
    // Once the listener has been called, nothing of the port is touched: it may be gone.
    void tellListener(PortSession& session, unsigned int byteCount, std::unique_lock<std::mutex>& deviceUse);
    // Backends store the delay and the threshold through these.
    void storeReadNotifyDelay(std::uint32_t milliseconds) { readNotifyDelay_ = milliseconds; }
    void storeReadThreshold(std::uint32_t byteCount) { readThreshold_ = byteCount; }

    // --- The lifecycle every backend shares (port_lifecycle.cpp) --------------------------------------
    //
    // A backend hands over its device steps in its constructor; its init, open and close are initPort,
    // openPort and closePort, and its destructor calls endPort. The rules they keep:
    // - Opening and closing never overlap, and a device is released exactly once, whoever closes.
    // - Close never hangs: it interrupts the device (the receive thread's wait, and any transfer under
    //   way, which fails) before it waits for anything; then the receive thread leaves the device, the
    //   device is released, and the thread is joined.
    // - A thread inside a listener call waits for nobody: a close from there leaves the other threads
    //   of the port to end by themselves, and the next open, close or the destructor made outside a
    //   listener call joins them.
    // - A listener's close always takes effect: when another thread is opening or closing the port at
    //   that moment, that thread closes the listener's session before it returns.
    // - After close has returned no listener call starts.
    void attachDevice(PortDevice& device) { device_ = &device; }
    void initPort(const char* portName, std::int32_t baudRate, Parity parity, std::int32_t dataBits,
                  StopBits stopBits, FlowControl flowControl, std::uint32_t readBufferSize);
    bool openPort();
    void closePort();
    void endPort();
    // The device is held and has not gone.
    bool portOpen() { return open_; }
    // The session of the device held now (also once it has gone, until close), or null.
    std::shared_ptr<PortSession> session();
    // The same, only while the device has not gone: what the owner's transfers use, under the mutex.
    std::shared_ptr<PortSession> openSession();
    // The session's device has gone: the port turns closed and status is recorded, once, unless the
    // session is being closed; true for the call that marked it. Takes the port's mutex.
    bool markLost(PortSession& session, SerialStatus status);
    // The same from the receive thread, which then leaves the device and tells the loss listener when
    // it was the first to find out; afterwards it touches nothing of the port and ends.
    void lostDevice(std::unique_lock<std::mutex>& deviceUse, PortSession& session);
    // From the receive thread: stores what it read into the receive buffer and tells the listener
    // (tellListener, which leaves the device), after which nothing of the port is touched.
    void deliver(std::unique_lock<std::mutex>& deviceUse, PortSession& session, const char* bytes,
                 unsigned int count);
    PortSettings& settings() { return settings_; }
    ReceiveBuffer& receiveBuffer() { return buffer_; }
    // The mode reads follow: the one of the open while a device is held, the current one otherwise.
    bool readsFromBuffer();

private:
    class Turn;
    // Who may open or close now; see port_lifecycle.cpp.
    struct Lifecycle {
        std::mutex mutex;
        std::condition_variable free;
        bool busy = false;
        std::uint64_t closeRequested = 0;  // the generation of a session a listener asked to close
        std::uint64_t generations = 0;
    };
    void endSession(std::uint64_t generation = 0);
    // Joins the receive threads whose end was handed over, unless called from inside a listener call.
    void joinEndedThreads();
    void forbidListenerCalls(bool mayWait);

    std::atomic<SerialStatus> status_{SerialStatus::Success};
    std::atomic<IoMode> ioMode_{IoMode::Asynchronous};
    std::atomic<std::uint32_t> readNotifyDelay_{50};
    std::atomic<std::uint32_t> readThreshold_{1};
    std::unique_ptr<kelso::IMutex> mutex_;
    // Shared with the library's threads, which may outlive the port by the end of a listener call.
    std::shared_ptr<ListenerGate> gate_;
    std::unique_ptr<ReadNotifier> notifier_;

    PortDevice* device_ = nullptr;
    PortSettings settings_;
    ReceiveBuffer buffer_{settings_.readBufferSize};
    Lifecycle lifecycle_;
    std::mutex sessionLock_;  // guards session_ and ended_; never held while waiting for a thread
    std::shared_ptr<PortSession> session_;
    std::uint64_t sessionGeneration_ = 0;
    std::vector<std::shared_ptr<PortSession>> ended_;  // stopped sessions whose thread is not joined yet
    std::atomic<bool> open_{false};
};
