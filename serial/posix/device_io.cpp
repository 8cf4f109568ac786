#include "serial/posix/device_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "serial/port_settings.h"
#include "serial/posix/uucp_lock.h"

namespace device_io {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long long kBitsPerCharacter = 12;

SerialStatus statusForOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return SerialStatus::NotFound;
        case EACCES:
        case EPERM:
        case EBUSY:
            return SerialStatus::AccessDenied;
        default:
            return SerialStatus::OpenFailed;
    }
}

int millisecondsSince(Clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Waits up to timeoutMs for fd (when there is one) to be ready for events, or for haltFd (when there
// is one) to turn readable; false with ECANCELED for the latter, or when the wait itself failed.
bool waitReady(int fd, short events, int timeoutMs, int haltFd, short& revents) {
    pollfd watch[2] = {{fd, events, 0}, {haltFd, POLLIN, 0}};
    const int ready = poll(watch, haltFd >= 0 ? 2 : 1, timeoutMs);
    revents = watch[0].revents;
    if (ready > 0 && watch[1].revents != 0 && haltFd >= 0) {
        errno = ECANCELED;
        return false;
    }
    return ready >= 0 || errno == EINTR;
}

void closeKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

int openExclusive(const PortTarget& target, SerialStatus& status) {
    // A real device that a terminal program holds by its lock file is left alone, not even opened.
    const bool realDevice = target.virtualPort.empty();
    if (realDevice && uucp_lock::holderOf(target.path).pid != 0) {
        status = SerialStatus::AccessDenied;
        return -1;
    }
    const int fd = ::open(target.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        status = statusForOpenError(errno);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || info.st_rdev != target.device || !isatty(fd)) {
        closeKeepingErrno(fd);
        status = SerialStatus::OpenFailed;
        return -1;
    }
    // A virtual port's publisher may have ended between the look and the open, and its
    // pseudo-terminal gone to another program: then nothing at all is done to it.
    if (!isStillServed(target)) {
        ::close(fd);
        status = SerialStatus::NotFound;
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        status = errno == EWOULDBLOCK ? SerialStatus::AccessDenied : SerialStatus::OpenFailed;
        closeKeepingErrno(fd);
        return -1;
    }
    if (realDevice && ioctl(fd, TIOCEXCL) != 0) {
        closeKeepingErrno(fd);
        status = SerialStatus::OpenFailed;
        return -1;
    }
    // Held now against this and every other program that asks the kernel; the lock file tells those
    // that ask the lock directory instead. One that took it meanwhile keeps it.
    if (realDevice && !uucp_lock::holdFor(fd, target.path)) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        status = SerialStatus::AccessDenied;
        return -1;
    }
    status = SerialStatus::Success;
    return fd;
}

void releaseAndClose(int fd, std::int32_t baudRate) {
    // On a device that has hung up these fail; closing still releases everything.
    ioctl(fd, TIOCNXCL);
    tcflush(fd, TCIFLUSH);
    // Output still queued here was reported as written: it gets a short chance to leave while the
    // line takes it, and only what a stopped line holds back is discarded (the kernel would
    // otherwise hold the close for up to 30 s). Output is flushed only when some is queued:
    // flushing a pseudo-terminal's output empties its peer's unread input instead, which would
    // lose bytes that were already written.
    int pending = 0;
    if (ioctl(fd, TIOCOUTQ, &pending) != 0 || pending > 0) {
        if (pending > 0) {
            drainOutput(fd, closeStallLimitMs(baudRate), baudRate, -1);
        }
        tcflush(fd, TCOFLUSH);
    }
    uucp_lock::releaseFor(fd);
    flock(fd, LOCK_UN);
    ::close(fd);
}

std::int32_t readSome(int fd, char* buffer, std::int32_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, static_cast<std::size_t>(size));
        if (got >= 0) {
            return static_cast<std::int32_t>(got);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

int queuedInput(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

bool writeAll(int fd, const char* data, std::size_t size, int stallLimit, int haltFd) {
    std::size_t done = 0;
    bool waiting = false;  // since stalledSince, the device has taken nothing
    Clock::time_point stalledSince;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            waiting = false;
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        // The output buffer is full: wait for room, but not longer than the stall limit.
        if (!waiting) {
            waiting = true;
            stalledSince = Clock::now();
        }
        const int left = stallLimit - millisecondsSince(stalledSince);
        if (left <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        short revents = 0;
        if (!waitReady(fd, POLLOUT, left, haltFd, revents)) {
            return false;
        }
        if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            errno = EIO;
            return false;
        }
    }
    return true;
}

bool isDeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF;
}

bool drainOutput(int fd, int stallLimit, std::int32_t baudRate, int haltFd) {
    const long long rate = baudRate > 0 ? baudRate : 1;
    Clock::time_point lastProgress = Clock::now();
    int previous = -1;
    for (;;) {
        int pending = 0;
        if (ioctl(fd, TIOCOUTQ, &pending) != 0) {
            return false;
        }
        if (pending <= 0) {
            // Only the character in the transmitter may be left; the kernel bounds that wait itself.
            return tcdrain(fd) == 0;
        }
        if (previous < 0 || pending < previous) {
            lastProgress = Clock::now();
        }
        previous = pending;
        if (millisecondsSince(lastProgress) >= stallLimit) {
            return false;
        }
        // Sleep about as long as the queued bytes take, in steps short enough to notice the end.
        const long long needMs = pending * kBitsPerCharacter * 1000 / rate;
        short revents = 0;
        if (!waitReady(-1, 0, static_cast<int>(std::clamp<long long>(needMs, 1, 50)), haltFd, revents)) {
            return false;
        }
    }
}

bool discardInput(int fd) {
    return tcflush(fd, TCIFLUSH) == 0;
}

bool discardOutput(int fd) {
    return tcflush(fd, TCOFLUSH) == 0;
}

bool setModemLine(int fd, int line, bool on) {
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

}  // namespace device_io
