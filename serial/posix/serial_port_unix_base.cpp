#include "serial/posix/serial_port_unix_base.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "common/virtual_port_dir.h"
#include "serial/posix/device_io.h"
#include "serial/posix/port_path.h"
#include "serial/posix/receive_session.h"
#include "serial/posix/terminal_line.h"

using kelso::ScopedLock;

namespace {

bool isAsynchronous(IoMode mode) {
    return mode == IoMode::Asynchronous;
}

}  // namespace

CSerialPortUnixBase::CSerialPortUnixBase() : buffer_(settings_.readBufferSize) {}

CSerialPortUnixBase::~CSerialPortUnixBase() {
    close();
    // A listener call of a thread whose listener closed the port earlier may still run: it ends first.
    forbidListenerCalls();
    threads_.joinKept();
}

void CSerialPortUnixBase::init(const char* portName, std::int32_t baudRate, Parity parity,
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

bool CSerialPortUnixBase::open() {
    const auto lifecycle = lockLifecycle();
    if (!lifecycle.owns_lock()) {
        // From a listener, while another thread opens or closes the port.
        recordStatus(SerialStatus::OpenFailed);
        return false;
    }
    threads_.joinKept();
    bool wasOpen;
    {
        ScopedLock hold(mutex());
        wasOpen = isOpen();
        if (wasOpen) {
            recordStatus(SerialStatus::OpenFailed);
        }
    }
    // An open port is closed (an open on an open port fails and leaves it closed); a device that has
    // gone is released. Closing joins the receive thread, which may wait for the lock, so it happens
    // outside it.
    closeSession();
    if (wasOpen) {
        return false;
    }
    ScopedLock hold(mutex());
    return openClosedPort();
}

bool CSerialPortUnixBase::openClosedPort() {
    PortTarget target;
    SerialStatus status = resolvePortPath(settings_.portName, virtualPortDirectory(), target);
    if (status != SerialStatus::Success) {
        recordStatus(status);
        return false;
    }
    const int fd = device_io::openExclusive(target, status);
    if (fd < 0) {
        recordStatus(status);
        return false;
    }
    if (!terminal_line::applyRawLine(fd, settings_.baudRate, settings_.parity, settings_.dataBits,
                                     settings_.stopBits, settings_.flowControl)) {
        device_io::releaseAndClose(fd, settings_.baudRate);
        recordStatus(SerialStatus::InvalidParam);
        return false;
    }
    // Input that came before the port was opened is not ours. Output is left alone: what is queued
    // was written by an earlier user of the device (on a pseudo-terminal, flushing it would empty the
    // peer's unread input and lose a frame written just before a close and reopen).
    tcflush(fd, TCIFLUSH);

    const bool asynchronous = isAsynchronous(ioMode());
    std::shared_ptr<ReceiveSession> session;
    try {
        session = std::make_shared<ReceiveSession>(fd, settings_.portName, asynchronous);
        if (asynchronous) {
            session->scratch.resize(ReceiveSession::kScratchBytes);
        }
    } catch (const std::bad_alloc&) {
        device_io::releaseAndClose(fd, settings_.baudRate);
        recordStatus(SerialStatus::InternalError);
        return false;
    }
    {
        // Published before the thread starts, so that a listener's close() finds it.
        std::lock_guard<std::mutex> hold(sessionLock_);
        session_ = session;
    }
    device_ = fd;
    openedAsynchronous_ = asynchronous;
    open_ = true;
    allowListenerCalls();
    if (asynchronous && !startReceiveThread(session)) {
        // No receive thread runs, so nothing is joined under the lock.
        closeSession();
        recordStatus(SerialStatus::InternalError);
        return false;
    }
    return true;
}

bool CSerialPortUnixBase::startReceiveThread(const std::shared_ptr<ReceiveSession>& session) {
    if (!session->wake.isValid()) {
        return false;
    }
    try {
        session->thread = std::thread(&CSerialPortUnixBase::receiveThreadProc, this, session);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CSerialPortUnixBase::close() {
    const auto lifecycle = lockLifecycle();
    if (!lifecycle.owns_lock()) {
        return;  // from a listener, while another thread opens or closes the port
    }
    threads_.joinKept();
    closeSession();
}

void CSerialPortUnixBase::closeSession() {
    std::shared_ptr<ReceiveSession> ending;
    {
        std::lock_guard<std::mutex> hold(sessionLock_);
        ending = std::move(session_);
    }
    if (!ending) {
        return;
    }
    ending->running = false;
    ending->wake.signal();
    // The receive thread is joined first: it is the one that posts delayed notifications.
    threads_.finish(ending);
    forbidListenerCalls();
    // The receive thread is gone (or, called from its listener, touches the device no more), so the
    // descriptor can go. The lock keeps a write of another thread off a closing descriptor.
    ScopedLock hold(mutex());
    open_ = false;
    device_ = -1;
    device_io::releaseAndClose(ending->device, settings_.baudRate);
}

std::shared_ptr<ReceiveSession> CSerialPortUnixBase::currentSession() {
    std::lock_guard<std::mutex> hold(sessionLock_);
    return session_;
}

void CSerialPortUnixBase::markLost(PortSession& session, SerialStatus status) {
    ScopedLock hold(mutex());
    if (!session.running || session.lost) {
        return;  // closing, or already known
    }
    session.lost = true;
    open_ = false;
    recordStatus(status);
}

void CSerialPortUnixBase::markCurrentLost(SerialStatus status) {
    if (const auto session = currentSession()) {
        markLost(*session, status);
        session->wake.signal();  // the receive thread ends
    }
}

bool CSerialPortUnixBase::isOpen() {
    return open_;
}

bool CSerialPortUnixBase::asynchronousNow() {
    return device() >= 0 ? openedAsynchronous_.load() : isAsynchronous(ioMode());
}

std::int32_t CSerialPortUnixBase::bytesAvailable() {
    if (asynchronousNow()) {
        return static_cast<std::int32_t>(buffer_.usedSize());
    }
    // Synchronous: the device's own queue; a closed port, or a device that cannot tell, has none. Under
    // the lock, so that the descriptor asked is never one a close is releasing.
    ScopedLock hold(mutex());
    const int queued = isOpen() ? device_io::queuedInput(device()) : -1;
    return queued > 0 ? queued : 0;
}

std::int32_t CSerialPortUnixBase::read(char* buffer, std::int32_t size) {
    ScopedLock hold(mutex());
    if (size <= 0) {
        return 0;
    }
    if (!isOpen()) {
        recordStatus(SerialStatus::NotOpen);
        return -1;
    }
    if (buffer == nullptr) {
        recordStatus(SerialStatus::NullPointer);
        return -1;
    }
    if (openedAsynchronous_) {
        return static_cast<std::int32_t>(buffer_.take(buffer, static_cast<unsigned int>(size)));
    }
    return readDevice(buffer, size);
}

std::int32_t CSerialPortUnixBase::readAll(char* buffer) {
    return read(buffer, bytesAvailable());
}

std::int32_t CSerialPortUnixBase::readLine(char* /*buffer*/, std::int32_t /*size*/) {
    ScopedLock hold(mutex());
    recordStatus(isOpen() ? SerialStatus::NotImplemented : SerialStatus::NotOpen);
    return -1;
}

std::int32_t CSerialPortUnixBase::readDevice(char* buffer, std::int32_t size) {
    ScopedLock hold(mutex());
    if (!isOpen()) {
        recordStatus(SerialStatus::NotOpen);
        return -1;
    }
    if (size < 0) {
        recordStatus(SerialStatus::InvalidParam);
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    if (buffer == nullptr) {
        recordStatus(SerialStatus::NullPointer);
        return -1;
    }
    for (;;) {
        const ssize_t got = ::read(device(), buffer, static_cast<std::size_t>(size));
        if (got >= 0) {
            return static_cast<std::int32_t>(got);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;  // nothing there yet
        }
        recordStatus(SerialStatus::ReadFailed);
        if (device_io::isDeviceGone(errno)) {
            markCurrentLost(SerialStatus::ReadFailed);
        }
        return -1;
    }
}

std::int32_t CSerialPortUnixBase::write(const char* data, std::int32_t size) {
    ScopedLock hold(mutex());
    if (!isOpen()) {
        recordStatus(SerialStatus::NotOpen);
        return -1;
    }
    if (size < 0) {
        recordStatus(SerialStatus::InvalidParam);
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    if (data == nullptr) {
        recordStatus(SerialStatus::NullPointer);
        return -1;
    }
    if (!device_io::writeAll(device(), data, static_cast<std::size_t>(size),
                             device_io::stallLimitMs(settings_.baudRate))) {
        const int error = errno;
        recordStatus(SerialStatus::WriteFailed);
        if (device_io::isDeviceGone(error)) {
            markCurrentLost(SerialStatus::WriteFailed);
        }
        return -1;
    }
    return size;
}

void CSerialPortUnixBase::setOption(std::int32_t /*value*/) {}

void CSerialPortUnixBase::setReadNotifyDelay(std::uint32_t milliseconds) {
    storeReadNotifyDelay(milliseconds);
}

void CSerialPortUnixBase::setReadThreshold(std::uint32_t byteCount) {
    storeReadThreshold(byteCount);
    // The receive thread tells the device the new minimum before it waits again.
    if (const auto session = currentSession()) {
        session->wake.signal();
    }
}

bool CSerialPortUnixBase::flush() {
    ScopedLock hold(mutex());
    return isOpen() &&
           device_io::drainOutput(device(), device_io::stallLimitMs(settings_.baudRate), settings_.baudRate);
}

bool CSerialPortUnixBase::purgeInput() {
    ScopedLock hold(mutex());
    return isOpen() && device_io::discardInput(device());
}

bool CSerialPortUnixBase::purgeOutput() {
    ScopedLock hold(mutex());
    return isOpen() && device_io::discardOutput(device());
}

void CSerialPortUnixBase::setPortName(const char* portName) {
    copyPortName(settings_.portName, portName);
}

const char* CSerialPortUnixBase::portName() {
    return settings_.portName;
}

void CSerialPortUnixBase::setBaudRate(std::int32_t baudRate) {
    ScopedLock hold(mutex());
    settings_.baudRate = baudRate;
    if (isOpen()) {
        terminal_line::applyBaudRate(device(), baudRate);
    }
}

std::int32_t CSerialPortUnixBase::baudRate() {
    return settings_.baudRate;
}

void CSerialPortUnixBase::setParity(Parity parity) {
    ScopedLock hold(mutex());
    settings_.parity = parity;
    if (isOpen()) {
        terminal_line::applyParity(device(), parity);
    }
}

Parity CSerialPortUnixBase::parity() {
    return settings_.parity;
}

void CSerialPortUnixBase::setDataBits(std::int32_t dataBits) {
    ScopedLock hold(mutex());
    settings_.dataBits = dataBits;
    if (!isOpen()) {
        return;
    }
    if (dataBitsFitStopBits(dataBits, settings_.stopBits)) {
        terminal_line::applyDataBits(device(), dataBits);
    }
}

std::int32_t CSerialPortUnixBase::dataBits() {
    return settings_.dataBits;
}

void CSerialPortUnixBase::setStopBits(StopBits stopBits) {
    ScopedLock hold(mutex());
    settings_.stopBits = stopBits;
    if (!isOpen()) {
        return;
    }
    if (stopBitsFitDataBits(stopBits, settings_.dataBits)) {
        terminal_line::applyStopBits(device(), stopBits);
    }
}

StopBits CSerialPortUnixBase::stopBits() {
    return settings_.stopBits;
}

void CSerialPortUnixBase::setFlowControl(FlowControl flowControl) {
    ScopedLock hold(mutex());
    settings_.flowControl = flowControl;
    if (isOpen()) {
        terminal_line::applyFlowControl(device(), flowControl);
    }
}

FlowControl CSerialPortUnixBase::flowControl() {
    return settings_.flowControl;
}

void CSerialPortUnixBase::setReadBufferSize(std::uint32_t size) {
    ScopedLock hold(mutex());
    // Changes only what is reported, and only on an open port; init resizes the buffer.
    if (isOpen()) {
        settings_.readBufferSize = size;
    }
}

std::uint32_t CSerialPortUnixBase::readBufferSize() {
    return settings_.readBufferSize;
}

void CSerialPortUnixBase::setDtr(bool on) {
    ScopedLock hold(mutex());
    if (isOpen()) {
        device_io::setModemLine(device(), TIOCM_DTR, on);
    }
}

void CSerialPortUnixBase::setRts(bool on) {
    ScopedLock hold(mutex());
    if (isOpen()) {
        device_io::setModemLine(device(), TIOCM_RTS, on);
    }
}
