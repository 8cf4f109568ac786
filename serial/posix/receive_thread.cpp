// The receive thread of CSerialPortUnixBase.
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

#include "serial/posix/device_io.h"
#include "serial/posix/receive_session.h"
#include "serial/posix/serial_port_unix_base.h"
#include "serial/posix/terminal_line.h"

using kelso::ScopedLock;

namespace {

// How often the thread looks again while enough bytes for the device to report itself readable, but
// fewer than a threshold above 255, are queued (the device cannot be told to wait for more than 255).
constexpr int kBelowThresholdRecheckMs = 10;

unsigned int readMinimumFor(unsigned int threshold) {
    return threshold < 1 ? 1 : (threshold > 255 ? 255 : threshold);
}

bool deviceGone(short events) {
    return (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

void CSerialPortUnixBase::receiveThreadProc(CSerialPortUnixBase* port,
                                            std::shared_ptr<ReceiveSession> session) {
    port->receiveLoop(*session);
}

// Once the session's stop flag is clear nothing of the port is touched any more: close() may have been
// called from the listener, and the port may even be gone.
void CSerialPortUnixBase::receiveLoop(ReceiveSession& session) {
    int recheckMs = -1;
    while (session.running) {
        const unsigned int threshold = readThreshold();
        const unsigned int minimum = readMinimumFor(threshold);
        if (minimum != session.readMinimum) {
            // Under the port's lock: the setters rewrite the line settings as a whole.
            ScopedLock hold(mutex());
            terminal_line::applyReadMinimum(session.device, minimum);
            session.readMinimum = minimum;
        }

        pollfd watch[2] = {{session.device, static_cast<short>(recheckMs < 0 ? POLLIN : 0), 0},
                           {session.wake.fd(), POLLIN, 0}};
        const int ready = poll(watch, 2, recheckMs);
        if (ready < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            recordDeviceFailure();
            return;
        }
        if (watch[1].revents != 0) {
            session.wake.drain();
            recheckMs = -1;
            continue;  // closing, or a new threshold
        }
        if (deviceGone(watch[0].revents)) {
            recordDeviceFailure();
            return;
        }
        const int queued = device_io::queuedInput(session.device);
        if (queued < 0) {
            recordDeviceFailure();
            return;
        }
        recheckMs = -1;
        if (queued == 0) {
            continue;
        }
        if (static_cast<unsigned int>(queued) < threshold) {
            // The bytes stay queued until enough have come. Past 255 the device cannot wait for more
            // by itself and stays readable, so look again a little later instead of spinning.
            if (static_cast<unsigned int>(queued) >= minimum) {
                recheckMs = kBelowThresholdRecheckMs;
            }
            continue;
        }
        if (!takeBatch(session, queued)) {
            return;
        }
    }
}

bool CSerialPortUnixBase::takeBatch(ReceiveSession& session, int queued) {
    try {
        if (session.scratch.size() < static_cast<std::size_t>(queued)) {
            session.scratch.resize(static_cast<std::size_t>(queued));
        }
    } catch (const std::bad_alloc&) {
        // The bytes stay queued; give memory a moment instead of spinning on them.
        std::this_thread::sleep_for(std::chrono::milliseconds(kBelowThresholdRecheckMs));
        return true;
    }
    const std::int32_t got = readDevice(session.scratch.data(), queued);
    // Without a ring buffer (no memory for it) the bytes are taken all the same, so that they do not
    // keep the device readable forever, and dropped; nobody is told.
    const bool haveBuffer = buffer_.exists();
    const unsigned int fill =
        got > 0 ? buffer_.store(session.scratch.data(), static_cast<unsigned int>(got)) : buffer_.usedSize();
    if (haveBuffer) {
        // Tells the name this thread was started with; the port's own name may be changing.
        tellListener(session.portName, fill);
    }
    if (got < 0) {
        // A device that fails a read it reported readable is gone; waiting on it would spin.
        if (session.running) {
            recordDeviceFailure();
        }
        return false;
    }
    return true;
}

void CSerialPortUnixBase::recordDeviceFailure() {
    ScopedLock hold(mutex());
    deviceFailed_ = true;
    recordStatus(SerialStatus::ReadFailed);
}
