// The lifecycle every backend shares: init, open, close and the end of a port, and the sessions and
// receive threads they start and stop. The rules are in serial_port_base.h.
#include <system_error>
#include <utility>

#include "serial/serial_port_base.h"

using kelso::ScopedLock;

// A turn at opening or closing the port: they never overlap. The owner's calls wait for it. A call from
// inside a listener call only takes it when it is free, since the holder may be a close that waits for
// that very listener call to end. Before the turn is let go, a session that a listener asked to have
// closed meanwhile is closed.
class CSerialPortBase::Turn {
public:
    Turn(CSerialPortBase& port, bool wait) : port_(port) {
        Lifecycle& lifecycle = port_.lifecycle_;
        std::unique_lock<std::mutex> hold(lifecycle.mutex);
        if (wait) {
            lifecycle.free.wait(hold, [&] { return !lifecycle.busy; });
        }
        held_ = !lifecycle.busy;
        lifecycle.busy = true;
    }
    ~Turn() {
        if (!held_) {
            return;
        }
        Lifecycle& lifecycle = port_.lifecycle_;
        for (;;) {
            std::uint64_t requested;
            {
                std::lock_guard<std::mutex> hold(lifecycle.mutex);
                requested = std::exchange(lifecycle.closeRequested, 0);
                if (requested == 0) {
                    lifecycle.busy = false;
                    lifecycle.free.notify_one();
                    return;
                }
            }
            port_.endSession(requested);
        }
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    explicit operator bool() const { return held_; }

private:
    CSerialPortBase& port_;
    bool held_;
};

bool PortDevice::startThread(PortSession& session, std::function<void()> body) {
    try {
        session.thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CSerialPortBase::initPort(const char* portName, std::int32_t baudRate, Parity parity,
                               std::int32_t dataBits, StopBits stopBits, FlowControl flowControl,
                               std::uint32_t readBufferSize) {
    copyPortName(settings_.portName, portName);
    settings_.baudRate = baudRate;
    settings_.parity = parity;
    settings_.dataBits = dataBits;
    settings_.stopBits = stopBits;
    settings_.flowControl = flowControl;
    settings_.readBufferSize = readBufferSize;
    buffer_.reset(readBufferSize);
}

bool CSerialPortBase::openPort() {
    Turn turn(*this, !gate_->callingHere());
    if (!turn) {
        // From a listener call, while another thread opens or closes the port.
        recordStatus(SerialStatus::OpenFailed);
        return false;
    }
    joinEndedThreads();
    if (open_) {
        // An open on an open port fails and leaves it closed.
        recordStatus(SerialStatus::OpenFailed);
        endSession();
        return false;
    }
    endSession();  // a device that has gone is released before it is opened afresh

    std::shared_ptr<PortSession> session;
    {
        ScopedLock hold(mutex());
        const bool asynchronous = ioMode() == IoMode::Asynchronous;
        session = device_->openDevice(asynchronous);
        if (!session) {
            return false;
        }
        session->asynchronous = asynchronous;
        copyPortName(session->portName, settings_.portName);
        // Published before the thread starts, so that a listener's close finds it.
        std::lock_guard<std::mutex> published(sessionLock_);
        session_ = session;
        sessionGeneration_ = ++lifecycle_.generations;
        open_ = true;
    }
    gate_->allow();
    // The thread starts once the device is set up, without the port's lock: it needs none of the
    // opener's, and a listener it calls may use the port at once.
    PortDevice* device = device_;
    if (session->asynchronous &&
        !device->startThread(*session, [device, session] { device->receiveLoop(*session); })) {
        endSession();
        recordStatus(SerialStatus::InternalError);
        return false;
    }
    return true;
}

void CSerialPortBase::closePort() {
    const bool fromListener = gate_->callingHere();
    for (;;) {
        Turn turn(*this, !fromListener);
        if (turn) {
            joinEndedThreads();
            endSession();
            return;
        }
        // From a listener call, while another thread opens or closes the port: that thread closes this
        // session before it returns. Asked under the lifecycle's lock, so the request cannot come just
        // after the holder has looked for one.
        std::lock_guard<std::mutex> hold(lifecycle_.mutex);
        if (lifecycle_.busy) {
            std::lock_guard<std::mutex> published(sessionLock_);
            if (session_) {
                lifecycle_.closeRequested = sessionGeneration_;
            }
            return;
        }
    }
}

void CSerialPortBase::endPort() {
    const bool mayWait = !gate_->callingHere();
    {
        Turn turn(*this, true);
        endSession();
    }
    // Calls of threads whose listener closed the port earlier may still run: they end first.
    forbidListenerCalls(mayWait);
    if (mayWait) {
        joinEndedThreads();
        return;
    }
    // Destroyed from inside a listener call: the other threads cannot be waited for. They hold their
    // sessions and touch nothing of the port any more; they end by themselves.
    std::lock_guard<std::mutex> hold(sessionLock_);
    for (const auto& ended : ended_) {
        ended->thread.detach();
    }
    ended_.clear();
    notifier_->letThreadEndAlone();
}

// Ends the current session (only if it is still the session of that generation, when one is given).
void CSerialPortBase::endSession(std::uint64_t generation) {
    std::shared_ptr<PortSession> ending;
    {
        std::lock_guard<std::mutex> hold(sessionLock_);
        if (!session_ || (generation != 0 && generation != sessionGeneration_)) {
            return;
        }
        ending = std::move(session_);
        open_ = false;
    }
    ending->running = false;
    // Before anything is waited for: the receive thread's wait ends, and so does a transfer of another
    // thread that holds the port's mutex (a write held back by flow control).
    device_->interruptDevice(*ending);
    const bool mayWait = !gate_->callingHere();
    gate_->forbid();
    {
        // The receive thread is out of the device now and posts no more notifications: it never goes
        // back in. Only then is what it posted dropped.
        std::lock_guard<std::mutex> leftDevice(ending->deviceUse);
    }
    notifier_->cancel(mayWait);
    {
        ScopedLock hold(mutex());
        device_->releaseDevice(*ending);
    }
    if (!ending->thread.joinable()) {
        return;
    }
    if (mayWait) {
        ending->thread.join();
    } else {
        // The thread may be waiting for the very listener call that closes: the next open, close or
        // the destructor joins it.
        std::lock_guard<std::mutex> hold(sessionLock_);
        ended_.push_back(std::move(ending));
    }
}

void CSerialPortBase::joinEndedThreads() {
    if (gate_->callingHere()) {
        return;
    }
    std::vector<std::shared_ptr<PortSession>> ended;
    {
        std::lock_guard<std::mutex> hold(sessionLock_);
        ended.swap(ended_);
    }
    for (const auto& session : ended) {
        session->thread.join();
    }
}

void CSerialPortBase::forbidListenerCalls(bool mayWait) {
    gate_->forbid();
    notifier_->cancel(mayWait);
}

std::shared_ptr<PortSession> CSerialPortBase::session() {
    std::lock_guard<std::mutex> hold(sessionLock_);
    return session_;
}

std::shared_ptr<PortSession> CSerialPortBase::openSession() {
    std::lock_guard<std::mutex> hold(sessionLock_);
    return session_ && !session_->lost ? session_ : nullptr;
}

bool CSerialPortBase::readsFromBuffer() {
    const auto held = session();
    return held ? held->asynchronous : ioMode() == IoMode::Asynchronous;
}

bool CSerialPortBase::markLost(PortSession& session, SerialStatus status) {
    {
        ScopedLock hold(mutex());
        if (!session.running || session.lost) {
            return false;  // closing, or already known: the status of whoever found it first stays
        }
        session.lost = true;
        recordStatus(status);
        std::lock_guard<std::mutex> published(sessionLock_);
        if (session_.get() == &session) {
            open_ = false;
        }
    }
    // The receive thread ends, and a transfer of another thread gives up.
    device_->interruptDevice(session);
    return true;
}

void CSerialPortBase::lostDevice(std::unique_lock<std::mutex>& deviceUse, PortSession& session) {
    const bool first = markLost(session, SerialStatus::ReadFailed);
    deviceUse.unlock();
    if (first) {
        // A share of the gate: the listener may close or destroy the port.
        const std::shared_ptr<ListenerGate> gate = gate_;
        gate->onPortLost(session.portName, session.running);
    }
}

void CSerialPortBase::deliver(std::unique_lock<std::mutex>& deviceUse, PortSession& session,
                              const char* bytes, unsigned int count) {
    tellListener(session, buffer_.store(bytes, count), deviceUse);
}
