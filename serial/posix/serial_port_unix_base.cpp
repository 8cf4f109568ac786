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

CSerialPortUnixBase::CSerialPortUnixBase() {
    attachDevice(*this);
}

CSerialPortUnixBase::~CSerialPortUnixBase() {
    endPort();
}

void CSerialPortUnixBase::init(const char* portName, std::int32_t baudRate, Parity parity,
                               std::int32_t dataBits, StopBits stopBits, FlowControl flowControl,
                               std::uint32_t readBufferSize) {
    initPort(portName, baudRate, parity, dataBits, stopBits, flowControl, readBufferSize);
    // A receive thread that had no buffer to fill looks at the device again.
    if (const auto held = session()) {
        static_cast<ReceiveSession&>(*held).wake.signal();
    }
}

bool CSerialPortUnixBase::open() {
    return openPort();
}

void CSerialPortUnixBase::close() {
    closePort();
}

std::shared_ptr<PortSession> CSerialPortUnixBase::openDevice(bool asynchronous) {
    const PortSettings& line = settings();
    PortTarget target;
    SerialStatus status = resolvePortPath(line.portName, virtualPortDirectory(), target);
    if (status != SerialStatus::Success) {
        recordStatus(status);
        return nullptr;
    }
    const int fd = device_io::openExclusive(target, status);
    if (fd < 0) {
        recordStatus(status);
        return nullptr;
    }
    if (!terminal_line::applyRawLine(fd, line.baudRate, line.parity, line.dataBits, line.stopBits,
                                     line.flowControl)) {
        device_io::releaseAndClose(fd, line.baudRate);
        recordStatus(SerialStatus::InvalidParam);
        return nullptr;
    }
    // Input that came before the port was opened is not ours. Output is left alone: what is queued
    // was written by an earlier user of the device (on a pseudo-terminal, flushing it would empty the
    // peer's unread input and lose a frame written just before a close and reopen).
    tcflush(fd, TCIFLUSH);

    std::shared_ptr<ReceiveSession> session;
    try {
        session = std::make_shared<ReceiveSession>(fd);
        if (asynchronous) {
            session->scratch.resize(ReceiveSession::kScratchBytes);
        }
    } catch (const std::bad_alloc&) {
        device_io::releaseAndClose(fd, line.baudRate);
        recordStatus(SerialStatus::InternalError);
        return nullptr;
    }
    if (!session->halt.isValid() || (asynchronous && !session->wake.isValid())) {
        device_io::releaseAndClose(fd, line.baudRate);
        recordStatus(SerialStatus::InternalError);
        return nullptr;
    }
    return session;
}

void CSerialPortUnixBase::interruptDevice(PortSession& session) {
    auto& terminal = static_cast<ReceiveSession&>(session);
    terminal.halt.signal();
    terminal.wake.signal();
}

void CSerialPortUnixBase::releaseDevice(PortSession& session) {
    device_io::releaseAndClose(static_cast<ReceiveSession&>(session).device, settings().baudRate);
}

namespace {

int descriptorOf(const std::shared_ptr<PortSession>& session) {
    return static_cast<ReceiveSession&>(*session).device;
}

}  // namespace

int CSerialPortUnixBase::openDescriptor() {
    const auto held = openSession();
    return held ? descriptorOf(held) : -1;
}

bool CSerialPortUnixBase::isOpen() {
    return portOpen();
}

std::int32_t CSerialPortUnixBase::bytesAvailable() {
    if (readsFromBuffer()) {
        return static_cast<std::int32_t>(receiveBuffer().usedSize());
    }
    // Synchronous: the device's own queue; a closed port, or a device that cannot tell, has none. Under
    // the lock, so that the descriptor asked is never one a close is releasing.
    ScopedLock hold(mutex());
    const auto held = openSession();
    const int queued = held ? device_io::queuedInput(descriptorOf(held)) : -1;
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
    if (readsFromBuffer()) {
        return static_cast<std::int32_t>(receiveBuffer().take(buffer, static_cast<unsigned int>(size)));
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
    const auto held = openSession();
    if (!held) {
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
    const std::int32_t got = device_io::readSome(descriptorOf(held), buffer, size);
    if (got < 0) {
        const int error = errno;
        recordStatus(SerialStatus::ReadFailed);
        if (device_io::isDeviceGone(error)) {
            markLost(*held, SerialStatus::ReadFailed);
        }
    }
    return got;
}

std::int32_t CSerialPortUnixBase::write(const char* data, std::int32_t size) {
    ScopedLock hold(mutex());
    const auto held = openSession();
    if (!held) {
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
    const auto& terminal = static_cast<ReceiveSession&>(*held);
    if (!device_io::writeAll(terminal.device, data, static_cast<std::size_t>(size),
                             writeStallLimitMs(settings().baudRate), terminal.halt.fd())) {
        const int error = errno;
        recordStatus(SerialStatus::WriteFailed);
        if (device_io::isDeviceGone(error)) {
            markLost(*held, SerialStatus::WriteFailed);
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
    if (const auto held = session()) {
        static_cast<ReceiveSession&>(*held).wake.signal();
    }
}

bool CSerialPortUnixBase::flush() {
    ScopedLock hold(mutex());
    const auto held = openSession();
    const std::int32_t baudRate = settings().baudRate;
    return held && device_io::drainOutput(descriptorOf(held), writeStallLimitMs(baudRate), baudRate,
                                          static_cast<ReceiveSession&>(*held).halt.fd());
}

bool CSerialPortUnixBase::purgeInput() {
    ScopedLock hold(mutex());
    const auto held = openSession();
    return held && device_io::discardInput(descriptorOf(held));
}

bool CSerialPortUnixBase::purgeOutput() {
    ScopedLock hold(mutex());
    const auto held = openSession();
    return held && device_io::discardOutput(descriptorOf(held));
}

void CSerialPortUnixBase::setPortName(const char* portName) {
    copyPortName(settings().portName, portName);
}

const char* CSerialPortUnixBase::portName() {
    return settings().portName;
}

void CSerialPortUnixBase::setBaudRate(std::int32_t baudRate) {
    ScopedLock hold(mutex());
    settings().baudRate = baudRate;
    if (const int fd = openDescriptor(); fd >= 0) {
        terminal_line::applyBaudRate(fd, baudRate);
    }
}

std::int32_t CSerialPortUnixBase::baudRate() {
    return settings().baudRate;
}

void CSerialPortUnixBase::setParity(Parity parity) {
    ScopedLock hold(mutex());
    settings().parity = parity;
    if (const int fd = openDescriptor(); fd >= 0) {
        terminal_line::applyParity(fd, parity);
    }
}

Parity CSerialPortUnixBase::parity() {
    return settings().parity;
}

void CSerialPortUnixBase::setDataBits(std::int32_t dataBits) {
    ScopedLock hold(mutex());
    settings().dataBits = dataBits;
    const int fd = openDescriptor();
    if (fd >= 0 && dataBitsFitStopBits(dataBits, settings().stopBits)) {
        terminal_line::applyDataBits(fd, dataBits);
    }
}

std::int32_t CSerialPortUnixBase::dataBits() {
    return settings().dataBits;
}

void CSerialPortUnixBase::setStopBits(StopBits stopBits) {
    ScopedLock hold(mutex());
    settings().stopBits = stopBits;
    const int fd = openDescriptor();
    if (fd >= 0 && stopBitsFitDataBits(stopBits, settings().dataBits)) {
        terminal_line::applyStopBits(fd, stopBits);
    }
}

StopBits CSerialPortUnixBase::stopBits() {
    return settings().stopBits;
}

void CSerialPortUnixBase::setFlowControl(FlowControl flowControl) {
    ScopedLock hold(mutex());
    settings().flowControl = flowControl;
    if (const int fd = openDescriptor(); fd >= 0) {
        terminal_line::applyFlowControl(fd, flowControl);
    }
}

FlowControl CSerialPortUnixBase::flowControl() {
    return settings().flowControl;
}

void CSerialPortUnixBase::setReadBufferSize(std::uint32_t size) {
    ScopedLock hold(mutex());
    // Changes only what is reported, and only on an open port; init resizes the buffer.
    if (isOpen()) {
        settings().readBufferSize = size;
    }
}

std::uint32_t CSerialPortUnixBase::readBufferSize() {
    return settings().readBufferSize;
}

void CSerialPortUnixBase::setDtr(bool on) {
    ScopedLock hold(mutex());
    if (const int fd = openDescriptor(); fd >= 0) {
        device_io::setModemLine(fd, TIOCM_DTR, on);
    }
}

void CSerialPortUnixBase::setRts(bool on) {
    ScopedLock hold(mutex());
    if (const int fd = openDescriptor(); fd >= 0) {
        device_io::setModemLine(fd, TIOCM_RTS, on);
    }
}
