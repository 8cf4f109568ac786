#include "serial/win/serial_port_win_base.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

using kelso::ScopedLock;

// One opening of the device: its handle (the port's until close, also after the device has gone) and,
// in Asynchronous mode, the two events of its receive thread, which the session closes when it goes.
struct WinSession : PortSession {
    ~WinSession() override {
        for (HANDLE event : {waitEvent, stopEvent}) {
            if (event != nullptr) {
                CloseHandle(event);
            }
        }
    }

    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE waitEvent = nullptr;  // the device wait's event (manual reset)
    HANDLE stopEvent = nullptr;  // set by close: ends a device wait or a pause at once
};

namespace {

constexpr DWORD kConfigSize = 52;
static_assert(sizeof(COMMCONFIG) == kConfigSize, "the configuration record is handed whole to the device");

// "\\.\" opens every COM name, COM10 and above included.
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// A device that cannot wait for characters shows it by failing its waits. After this many failures in
// a row the receive thread looks at the input queue every kPollMs, and tries the wait again every
// kWaitRetryMs; the first wait that works ends the polling.
constexpr unsigned int kFailedWaitsBeforePolling = 3;
constexpr DWORD kPollMs = 10;
constexpr DWORD kWaitRetryMs = 1000;

// Errors that mean the device has gone, from a handle that was open: what Wine reports once a
// pseudo-terminal's other side has closed (ERROR_NOT_READY; ERROR_BROKEN_PIPE from reads), and what
// serial drivers report for a removed adapter.
bool isDeviceGoneError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_BROKEN_PIPE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

BYTE lowByte(std::int32_t value) {
    return static_cast<BYTE>(value & 0xFF);
}

}  // namespace

CSerialPortWinBase::CSerialPortWinBase() : CSerialPortWinBase(kernel32CommApi()) {}

CSerialPortWinBase::CSerialPortWinBase(WinCommApi& api)
    : api_(api), receiveBuffer_(settings_.readBufferSize) {}

// The receive thread uses the ring buffer, the notifier and the listener: it ends first, then a
// listener call still running elsewhere, and only then do the members go.
CSerialPortWinBase::~CSerialPortWinBase() {
    close();
    forbidListenerCalls();
    threads_.joinKept();
}

void CSerialPortWinBase::init(const char* portName, std::int32_t baudRate, Parity parity,
                              std::int32_t dataBits, StopBits stopBits, FlowControl flowControl,
                              std::uint32_t readBufferSize) {
    copyPortName(settings_.portName, portName);
    settings_.baudRate = baudRate;
    settings_.parity = parity;
    settings_.dataBits = dataBits;
    settings_.stopBits = stopBits;
    settings_.flowControl = flowControl;
    settings_.readBufferSize = readBufferSize;
    receiveBuffer_.reset(readBufferSize);
}

bool CSerialPortWinBase::open() {
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
    // gone is released. Closing joins the receive thread, which may wait for the lock to read the
    // device, so it happens outside it.
    closeSession();
    if (wasOpen) {
        return false;
    }
    ScopedLock hold(mutex());
    return openClosedPort();
}

bool CSerialPortWinBase::openClosedPort() {
    char path[kDevicePrefixLength + kPortNameCapacity];
    std::memcpy(path, kDevicePrefix, kDevicePrefixLength);
    std::memcpy(path + kDevicePrefixLength, settings_.portName, kPortNameCapacity);

    const bool asynchronous = ioMode() == IoMode::Asynchronous;
    config_.dwSize = kConfigSize;

    const HANDLE device = api_.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                          asynchronous ? FILE_FLAG_OVERLAPPED : 0);
    if (device == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        recordStatus(error == ERROR_FILE_NOT_FOUND  ? SerialStatus::NotFound
                     : error == ERROR_ACCESS_DENIED ? SerialStatus::AccessDenied
                                                    : SerialStatus::OpenFailed);
        return false;
    }
    // Whatever fails from here on releases the device as close would, and leaves the port closed.
    const auto fail = [&](SerialStatus status) {
        device_ = INVALID_HANDLE_VALUE;
        api_.setCommMask(device, 0);
        api_.purgeComm(device, kPurgeAll);
        api_.closeHandle(device);
        recordStatus(status);
        return false;
    };
    device_ = device;
    openedAsynchronous_ = asynchronous;

    DWORD configSize = kConfigSize;
    api_.getCommConfig(device, &config_, &configSize);
    api_.getCommState(device, &config_.dcb);
    // A device that asks for a larger record has filled none; never hand over more than the record.
    configSize = std::min(configSize, kConfigSize);

    DCB& dcb = config_.dcb;
    dcb.BaudRate = static_cast<DWORD>(settings_.baudRate);
    dcb.ByteSize = lowByte(settings_.dataBits);
    dcb.Parity = lowByte(static_cast<std::int32_t>(settings_.parity));
    dcb.StopBits = lowByte(static_cast<std::int32_t>(settings_.stopBits));
    dcb.fBinary = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    setFlowControl(settings_.flowControl);

    if (!api_.setCommConfig(device, &config_, configSize)) {
        return fail(SerialStatus::InvalidParam);
    }
    api_.purgeComm(device, kPurgeAll);

    // Reads return at once with what has arrived. Plain writes may take 500 ms plus 100 ms a byte;
    // overlapped ones have no limit.
    timeouts_ = COMMTIMEOUTS{};
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    if (!asynchronous) {
        timeouts_.WriteTotalTimeoutMultiplier = 100;
        timeouts_.WriteTotalTimeoutConstant = 500;
    }
    api_.setCommTimeouts(device, &timeouts_);
    if (asynchronous && !api_.setCommMask(device, EV_RXCHAR)) {
        return fail(SerialStatus::InvalidParam);
    }

    std::shared_ptr<WinSession> session;
    try {
        session = std::make_shared<WinSession>();
    } catch (const std::bad_alloc&) {
        return fail(SerialStatus::InternalError);
    }
    session->device = device;
    session->asynchronous = asynchronous;
    copyPortName(session->portName, settings_.portName);
    if (asynchronous) {
        session->waitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        session->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (session->waitEvent == nullptr || session->stopEvent == nullptr) {
            return fail(SerialStatus::InternalError);
        }
    }
    {
        // Published before the thread starts, so that a listener's close() finds it.
        std::lock_guard<std::mutex> hold(sessionLock_);
        session_ = session;
    }
    open_ = true;
    allowListenerCalls();
    if (!asynchronous) {
        return true;
    }
    try {
        // The thread holds a share of its session: it may outlive the port's interest in it.
        session->thread = std::thread([this, session] { receiveLoop(*session); });
    } catch (const std::system_error&) {
        // No receive thread runs, so nothing is joined under the lock.
        closeSession();
        recordStatus(SerialStatus::InternalError);
        return false;
    }
    return true;
}

void CSerialPortWinBase::close() {
    const auto lifecycle = lockLifecycle();
    if (!lifecycle.owns_lock()) {
        return;  // from a listener, while another thread opens or closes the port
    }
    threads_.joinKept();
    closeSession();
}

void CSerialPortWinBase::closeSession() {
    std::shared_ptr<WinSession> ending;
    {
        std::lock_guard<std::mutex> hold(sessionLock_);
        ending = std::move(session_);
    }
    if (!ending) {
        return;
    }
    ending->running = false;
    // Clearing the event mask completes a pending wait for device events; the stop event also ends a
    // pause between polls.
    api_.setCommMask(ending->device, 0);
    if (ending->stopEvent != nullptr) {
        SetEvent(ending->stopEvent);
    }
    // The receive thread is joined first: it is the one that posts delayed notifications.
    threads_.finish(ending);
    forbidListenerCalls();
    // The receive thread is gone (or, called from its listener, touches the device no more). The lock
    // keeps a transfer of another thread off a closing handle.
    ScopedLock hold(mutex());
    open_ = false;
    device_ = INVALID_HANDLE_VALUE;
    api_.purgeComm(ending->device, kPurgeAll);
    api_.closeHandle(ending->device);
}

std::shared_ptr<WinSession> CSerialPortWinBase::currentSession() {
    std::lock_guard<std::mutex> hold(sessionLock_);
    return session_;
}

void CSerialPortWinBase::markLost(WinSession& session, SerialStatus status) {
    ScopedLock hold(mutex());
    if (!session.running || session.lost) {
        return;  // closing, or already known
    }
    session.lost = true;
    open_ = false;
    recordStatus(status);
    if (session.stopEvent != nullptr) {
        SetEvent(session.stopEvent);  // the receive thread ends
    }
}

bool CSerialPortWinBase::isOpen() {
    return open_;
}

bool CSerialPortWinBase::asynchronousNow() {
    return deviceHeld() ? openedAsynchronous_.load() : ioMode() == IoMode::Asynchronous;
}

std::int32_t CSerialPortWinBase::bytesAvailable() {
    if (asynchronousNow()) {
        return static_cast<std::int32_t>(std::min<unsigned int>(receiveBuffer_.usedSize(), INT32_MAX));
    }
    // Under the lock, so that the handle asked is never one a close is releasing.
    ScopedLock hold(mutex());
    DWORD errors = 0;
    COMSTAT status{};
    // A closed port (or a device that does not answer) has no queue to count.
    if (!isOpen() || !api_.clearCommError(device_, &errors, &status)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::min<DWORD>(status.cbInQue, INT32_MAX));
}

std::int32_t CSerialPortWinBase::read(char* buffer, std::int32_t size) {
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
        return static_cast<std::int32_t>(receiveBuffer_.take(buffer, static_cast<unsigned int>(size)));
    }
    return transfer(false, buffer, size, readRecord_, SerialStatus::ReadFailed);
}

std::int32_t CSerialPortWinBase::readAll(char* buffer) {
    return read(buffer, bytesAvailable());
}

std::int32_t CSerialPortWinBase::readLine(char*, std::int32_t) {
    ScopedLock hold(mutex());
    recordStatus(isOpen() ? SerialStatus::NotImplemented : SerialStatus::NotOpen);
    return -1;
}

std::int32_t CSerialPortWinBase::write(const char* data, std::int32_t size) {
    ScopedLock hold(mutex());
    if (!isOpen()) {
        recordStatus(SerialStatus::NotOpen);
        return -1;
    }
    if (size < 0) {
        recordStatus(SerialStatus::InvalidParam);
        return -1;
    }
    if (data == nullptr && size > 0) {
        recordStatus(SerialStatus::NullPointer);
        return -1;
    }
    // WriteFile only reads from the buffer.
    return transfer(true, const_cast<char*>(data), size, writeRecord_, SerialStatus::WriteFailed);
}

std::int32_t CSerialPortWinBase::readDevice(char* buffer, std::int32_t size) {
    ScopedLock hold(mutex());
    if (!isOpen()) {
        recordStatus(SerialStatus::NotOpen);
        return -1;
    }
    if (size < 0) {
        recordStatus(SerialStatus::InvalidParam);
        return -1;
    }
    if (buffer == nullptr && size > 0) {
        recordStatus(SerialStatus::NullPointer);
        return -1;
    }
    return transfer(false, buffer, size, readRecord_, SerialStatus::ReadFailed);
}

std::int32_t CSerialPortWinBase::transfer(bool writing, char* buffer, std::int32_t size, OVERLAPPED& record,
                                          SerialStatus failStatus) {
    const HANDLE device = device_;
    const DWORD length = static_cast<DWORD>(size);
    DWORD count = 0;
    DWORD error = 0;
    bool done = false;

    // The kind of transfer follows how the device was opened: an overlapped device needs a record.
    if (!openedAsynchronous_) {
        done = writing ? api_.writeFile(device, buffer, length, &count, nullptr)
                       : api_.readFile(device, buffer, length, &count, nullptr);
        error = done ? 0 : GetLastError();
    } else {
        record.Offset = 0;
        record.OffsetHigh = 0;
        record.Internal = 0;
        record.InternalHigh = 0;
        // An event of its own: the completion must not be taken for the receive thread's.
        record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (record.hEvent != nullptr) {
            done = writing ? api_.writeFile(device, buffer, length, &count, &record)
                           : api_.readFile(device, buffer, length, &count, &record);
            error = done ? 0 : GetLastError();
            if (!done && error == ERROR_IO_PENDING) {
                // A transfer that ends in failure (the device went away, the transfer was cancelled)
                // is a failure, not a count of nothing.
                done = api_.getOverlappedResult(device, &record, &count, TRUE);
                error = done ? 0 : GetLastError();
            }
            CloseHandle(record.hEvent);
            record.hEvent = nullptr;
        }
    }
    // A write the device ended early ran out of its time: the frame is not out, which is a failure.
    if (done && (!writing || count == length)) {
        return static_cast<std::int32_t>(count);
    }
    recordStatus(failStatus);
    if (isDeviceGoneError(error)) {
        if (const auto session = currentSession()) {
            markLost(*session, failStatus);
        }
    }
    return -1;
}

void CSerialPortWinBase::setOption(std::int32_t) {}

void CSerialPortWinBase::setReadNotifyDelay(std::uint32_t milliseconds) {
    storeReadNotifyDelay(milliseconds);
}

void CSerialPortWinBase::setReadThreshold(std::uint32_t byteCount) {
    storeReadThreshold(byteCount);
}

bool CSerialPortWinBase::flush() {
    ScopedLock hold(mutex());
    return isOpen() && api_.flushFileBuffers(device_) != 0;
}

bool CSerialPortWinBase::purgeInput() {
    ScopedLock hold(mutex());
    return isOpen() && api_.purgeComm(device_, PURGE_RXCLEAR) != 0;
}

bool CSerialPortWinBase::purgeOutput() {
    ScopedLock hold(mutex());
    return isOpen() && api_.purgeComm(device_, PURGE_TXCLEAR) != 0;
}

void CSerialPortWinBase::setPortName(const char* portName) {
    copyPortName(settings_.portName, portName);
}

const char* CSerialPortWinBase::portName() {
    return settings_.portName;
}

void CSerialPortWinBase::applyConfiguration() {
    api_.setCommConfig(device_, &config_, kConfigSize);
}

void CSerialPortWinBase::setBaudRate(std::int32_t baudRate) {
    ScopedLock hold(mutex());
    settings_.baudRate = baudRate;
    config_.dcb.BaudRate = static_cast<DWORD>(baudRate);
    if (deviceHeld()) {
        applyConfiguration();
    }
}

std::int32_t CSerialPortWinBase::baudRate() {
    return settings_.baudRate;
}

void CSerialPortWinBase::setParity(Parity parity) {
    ScopedLock hold(mutex());
    settings_.parity = parity;
    if (!deviceHeld()) {
        return;
    }
    const auto value = static_cast<std::int32_t>(parity);
    config_.dcb.Parity = lowByte(value);
    if (parity == Parity::None) {
        config_.dcb.fParity = 0;
    } else if (value >= 1 && value <= 4) {
        config_.dcb.fParity = 1;
    }
    applyConfiguration();
}

Parity CSerialPortWinBase::parity() {
    return settings_.parity;
}

// A setting that would pair wrongly with the other is stored and waits.
void CSerialPortWinBase::setDataBits(std::int32_t dataBits) {
    ScopedLock hold(mutex());
    settings_.dataBits = dataBits;
    if (!deviceHeld()) {
        return;
    }
    if (dataBitsFitStopBits(dataBits, settings_.stopBits)) {
        config_.dcb.ByteSize = lowByte(dataBits);
        applyConfiguration();
    }
}

std::int32_t CSerialPortWinBase::dataBits() {
    return settings_.dataBits;
}

void CSerialPortWinBase::setStopBits(StopBits stopBits) {
    ScopedLock hold(mutex());
    settings_.stopBits = stopBits;
    if (!deviceHeld()) {
        return;
    }
    if (stopBitsFitDataBits(stopBits, settings_.dataBits)) {
        config_.dcb.StopBits = lowByte(static_cast<std::int32_t>(stopBits));
        applyConfiguration();
    }
}

StopBits CSerialPortWinBase::stopBits() {
    return settings_.stopBits;
}

void CSerialPortWinBase::setFlowControl(FlowControl flowControl) {
    ScopedLock hold(mutex());
    settings_.flowControl = flowControl;
    if (!deviceHeld()) {
        return;
    }
    DCB& dcb = config_.dcb;
    switch (flowControl) {
        case FlowControl::None:
            dcb.fOutxCtsFlow = 0;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            break;
        case FlowControl::Hardware:
            dcb.fOutxCtsFlow = 1;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            break;
        case FlowControl::Software:
            dcb.fOutxCtsFlow = 0;
            dcb.fOutX = 1;
            dcb.fInX = 1;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            break;
        default:
            return;
    }
    applyConfiguration();
}

FlowControl CSerialPortWinBase::flowControl() {
    return settings_.flowControl;
}

// Changes what readBufferSize reports while the port is open; the ring buffer keeps its size.
void CSerialPortWinBase::setReadBufferSize(std::uint32_t size) {
    ScopedLock hold(mutex());
    if (isOpen()) {
        settings_.readBufferSize = size;
    }
}

std::uint32_t CSerialPortWinBase::readBufferSize() {
    return settings_.readBufferSize;
}

void CSerialPortWinBase::setDtr(bool on) {
    ScopedLock hold(mutex());
    if (deviceHeld()) {
        api_.escapeCommFunction(device_, on ? SETDTR : CLRDTR);
    }
}

void CSerialPortWinBase::setRts(bool on) {
    ScopedLock hold(mutex());
    if (deviceHeld()) {
        api_.escapeCommFunction(device_, on ? SETRTS : CLRRTS);
    }
}

// The thread works on its session: its copy of the device handle and its own events. It ends when the
// session is stopped or the device has gone.
void CSerialPortWinBase::receiveLoop(WinSession& session) {
    unsigned int failedWaits = 0;
    unsigned int goneWaits = 0;
    DWORD lastWait = 0;
    while (session.running && !session.lost) {
        const bool polling = failedWaits >= kFailedWaitsBeforePolling;
        if (polling && GetTickCount() - lastWait < kWaitRetryMs) {
            pause(session, kPollMs);
            if (session.running && !takeQueued(session)) {
                return;
            }
            continue;
        }
        lastWait = GetTickCount();
        DWORD error = 0;
        switch (waitForCharacters(session, error)) {
            case WaitResult::Stopped:
                break;  // closing, or the device has gone
            case WaitResult::Nothing:
                failedWaits = 0;
                goneWaits = 0;
                break;
            case WaitResult::Characters:
                failedWaits = 0;
                goneWaits = 0;
                if (!takeQueued(session)) {
                    return;
                }
                break;
            case WaitResult::Failed:
                failedWaits = std::min(failedWaits + 1, kFailedWaitsBeforePolling);
                goneWaits = isDeviceGoneError(error) ? goneWaits + 1 : 0;
                if (goneWaits >= kFailedWaitsBeforePolling) {
                    markLost(session, SerialStatus::ReadFailed);
                    return;
                }
                // Whatever the wait could not tell, the queue can: bytes that came, or a device gone.
                if (!takeQueued(session)) {
                    return;
                }
                break;
        }
    }
}

CSerialPortWinBase::WaitResult CSerialPortWinBase::waitForCharacters(WinSession& session, DWORD& error) {
    // The system writes the mask and the record when the wait completes; both stay alive until then.
    DWORD mask = 0;
    OVERLAPPED record{};
    record.hEvent = session.waitEvent;
    ResetEvent(session.waitEvent);
    if (!api_.waitCommEvent(session.device, &mask, &record)) {
        error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return WaitResult::Failed;
        }
        const HANDLE wakers[2] = {session.waitEvent, session.stopEvent};
        const DWORD woken = WaitForMultipleObjects(2, wakers, FALSE, INFINITE);
        DWORD ignored = 0;
        if (woken != WAIT_OBJECT_0) {
            // Stopping (or the events failed): end the device wait before its mask and record go.
            api_.cancelIo(session.device);
            api_.getOverlappedResult(session.device, &record, &ignored, TRUE);
            if (woken == WAIT_OBJECT_0 + 1) {
                return WaitResult::Stopped;
            }
            error = GetLastError();
            return WaitResult::Failed;
        }
        if (!api_.getOverlappedResult(session.device, &record, &ignored, FALSE)) {
            error = GetLastError();
            return WaitResult::Failed;
        }
    }
    // An empty mask is how a wait ended by close (which clears the event mask) completes.
    return (mask & EV_RXCHAR) != 0 ? WaitResult::Characters : WaitResult::Nothing;
}

bool CSerialPortWinBase::takeQueued(WinSession& session) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!api_.clearCommError(session.device, &errors, &status)) {
        if (isDeviceGoneError(GetLastError())) {
            markLost(session, SerialStatus::ReadFailed);
            return false;
        }
        return true;
    }
    // Below the threshold the bytes stay in the device's queue for a later pass.
    const DWORD queued = std::min<DWORD>(status.cbInQue, INT32_MAX);
    if (queued == 0 || queued < readThreshold()) {
        return true;
    }
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[queued]);
    if (!chunk || !receiveBuffer_.exists()) {
        return true;
    }
    const std::int32_t got = readDevice(chunk.get(), static_cast<std::int32_t>(queued));
    const unsigned int fill = got > 0 ? receiveBuffer_.store(chunk.get(), static_cast<unsigned int>(got))
                                      : receiveBuffer_.usedSize();
    // Tells the name this thread was started with; nothing of the port is touched after this call.
    tellListener(session.portName, fill);
    return !session.lost;
}

void CSerialPortWinBase::pause(WinSession& session, DWORD milliseconds) {
    if (WaitForSingleObject(session.stopEvent, milliseconds) == WAIT_FAILED) {
        Sleep(milliseconds);
    }
}
