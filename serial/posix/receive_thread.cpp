// The receive thread of CSerialPortUnixBase.
#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "serial/posix/device_io.h"
#include "serial/posix/receive_session.h"
#include "serial/posix/serial_port_unix_base.h"
#include "serial/posix/terminal_line.h"

using kelso::ScopedLock;

namespace {

// The most characters the device is told to wait for before it reports itself readable. The
// terminal layer could count to 255, but while told to wait for more than 64 it hands out queued
// input 64 bytes per read, so a batch would no longer be one read.
constexpr unsigned int kMostReadMinimum = 64;

// How often the thread looks again while enough bytes for the device to report itself readable,
// but fewer than a larger threshold, are queued.
constexpr int kBelowThresholdRecheckMs = 10;

unsigned int readMinimumFor(unsigned int threshold) {
    return threshold < 1 ? 1 : (threshold > kMostReadMinimum ? kMostReadMinimum : threshold);
}

bool deviceGone(short events) {
    return (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

// The thread uses the device only while it holds the session's deviceUse, and looks at `running`
// each time it takes it: once close has cleared it and taken the lock, the thread never touches the
// device or the port again (close may have been called from the listener, and the port may be gone).
// It ends when the session stops or the device goes.
void CSerialPortUnixBase::receiveLoop(PortSession& base) {
    auto& session = static_cast<ReceiveSession&>(base);
    int recheckMs = -1;
    for (;;) {
        std::unique_lock<std::mutex> use(session.deviceUse);
        if (!session.running || session.lost) {
            return;
        }
        const unsigned int threshold = readThreshold();
        const unsigned int minimum = readMinimumFor(threshold);
        if (minimum != session.readMinimum) {
            // Under the port's lock: the setters rewrite the line settings as a whole.
            ScopedLock hold(mutex());
            terminal_line::applyReadMinimum(session.device, minimum);
            session.readMinimum = minimum;
        }
        // Without a buffer to fill, what arrives stays in the device: only a wake-up is waited for.
        const bool take = recheckMs < 0 && receiveBuffer().exists();
        pollfd watch[2] = {{session.device, static_cast<short>(take ? POLLIN : 0), 0},
                           {session.wake.fd(), POLLIN, 0}};
        const int ready = poll(watch, 2, recheckMs);
        if (ready < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            lostDevice(use, session);
            return;
        }
        if (watch[1].revents != 0) {
            session.wake.drain();
            recheckMs = -1;
            continue;  // closing, a new threshold, or a new buffer
        }
        if (deviceGone(watch[0].revents)) {
            lostDevice(use, session);
            return;
        }
        recheckMs = -1;
        std::int32_t size = static_cast<std::int32_t>(session.scratch.size());
        if (threshold > minimum) {
            // A threshold the device cannot wait for by itself: ask how much is queued. The bytes
            // stay queued until enough have come; as the device stays readable meanwhile, look again
            // a little later instead of spinning.
            const int queued = device_io::queuedInput(session.device);
            if (queued < 0) {
                lostDevice(use, session);
                return;
            }
            if (static_cast<unsigned int>(queued) < threshold) {
                if (static_cast<unsigned int>(queued) >= minimum) {
                    recheckMs = kBelowThresholdRecheckMs;
                }
                continue;
            }
            size = std::min(size, queued);
        }
        // Otherwise the device reported itself readable only once the threshold was queued, and one
        // read into room for the whole input queue takes exactly what is queued.
        const std::int32_t got = readBatch(session, size);
        if (got < 0) {
            // A device that fails a read it reported readable is gone; waiting on it would spin.
            lostDevice(use, session);
            return;
        }
        if (got > 0) {
            // Tells the name this thread was started with; the port's own name may be changing.
            deliver(use, session, session.scratch.data(), static_cast<unsigned int>(got));
        }
    }
}

// The thread's own read, of its own session: it records nothing itself, so nothing over the status of
// another thread that closed the port or found the device gone first.
std::int32_t CSerialPortUnixBase::readBatch(ReceiveSession& session, std::int32_t size) {
    ScopedLock hold(mutex());
    return device_io::readSome(session.device, session.scratch.data(), size);
}
