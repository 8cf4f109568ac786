#include "serial/win/serial_port_win_base.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

using kelso::ScopedLock;

namespace {

constexpr DWORD kConfigSize = 52;
static_assert(sizeof(COMMCONFIG) == kConfigSize, "the configuration record is handed whole to the device");

// "\\.\" opens every COM name, COM10 and above included.
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// The receive thread sleeps in the device's wait for characters. Some devices cannot wait: under Wine
// on a pseudo-terminal every wait ends at once with an error, and a removed adapter fails them all.
// After this many passes in a row that took no bytes, the thread looks at the input queue every
// kPollMs instead, and tries the wait again every kWaitRetryMs and after every batch it takes.
constexpr unsigned int kIdlePassesBeforePolling = 2;
constexpr DWORD kPollMs = 10;
constexpr DWORD kWaitRetryMs = 1000;

BYTE lowByte(std::int32_t value) {
    return static_cast<BYTE>(value & 0xFF);
}

}  // namespace

CSerialPortWinBase::CSerialPortWinBase() : receiveBuffer_(settings_.readBufferSize) {
    eventRecord_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// The receive thread uses the event record, the ring buffer, the notifier and the listener: it ends
// first, then a delayed notification still pending, and only then do the members go.
CSerialPortWinBase::~CSerialPortWinBase() {
    close();
    joinReceiveThread();
    stopNotifier();
    if (eventRecord_.hEvent != nullptr) {
        CloseHandle(eventRecord_.hEvent);
    }
    if (stopEvent_ != nullptr) {
        CloseHandle(stopEvent_);
    }
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
    if (!isOpen()) {
        // A thread whose listener closed the port is on its way out; it must be gone before the next.
        joinReceiveThread();
    }
    bool opened;
    {
        ScopedLock hold(mutex());
        opened = openLocked();
    }
    // A failed open always leaves the port closed. Closing waits for the receive thread, which may be
    // waiting for the lock to read the device, so it happens once the lock is released.
    if (!opened) {
        close();
    }
    return opened;
}

bool CSerialPortWinBase::openLocked() {
    char path[kDevicePrefixLength + kPortNameCapacity];
    std::memcpy(path, kDevicePrefix, kDevicePrefixLength);
    std::memcpy(path + kDevicePrefixLength, settings_.portName, kPortNameCapacity);

    const bool asynchronous = ioMode() == IoMode::Asynchronous;
    config_.dwSize = kConfigSize;

    if (isOpen()) {
        recordStatus(SerialStatus::OpenFailed);
        return false;
    }
    if (asynchronous && receiveThread_.joinable()) {
        // Reopened from the listener of the thread that is still running it; a second thread cannot
        // start before that one has ended.
        recordStatus(SerialStatus::InternalError);
        return false;
    }

    const HANDLE device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      asynchronous ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        recordStatus(error == ERROR_FILE_NOT_FOUND  ? SerialStatus::NotFound
                     : error == ERROR_ACCESS_DENIED ? SerialStatus::AccessDenied
                                                    : SerialStatus::OpenFailed);
        return false;
    }
    device_ = device;
    openedAsynchronous_ = asynchronous;

    DWORD configSize = kConfigSize;
    GetCommConfig(device, &config_, &configSize);
    GetCommState(device, &config_.dcb);
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

    if (!SetCommConfig(device, &config_, configSize)) {
        recordStatus(SerialStatus::InvalidParam);
        return false;
    }
    PurgeComm(device, kPurgeAll);

    // Reads return at once with what has arrived. Plain writes may take 500 ms plus 100 ms a byte;
    // overlapped ones have no limit.
    timeouts_ = COMMTIMEOUTS{};
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    if (!asynchronous) {
        timeouts_.WriteTotalTimeoutMultiplier = 100;
        timeouts_.WriteTotalTimeoutConstant = 500;
        SetCommTimeouts(device, &timeouts_);
        return true;
    }
    SetCommTimeouts(device, &timeouts_);

    if (!SetCommMask(device, EV_RXCHAR)) {
        recordStatus(SerialStatus::InvalidParam);
        return false;
    }
    if (eventRecord_.hEvent == nullptr || stopEvent_ == nullptr) {
        recordStatus(SerialStatus::InternalError);
        return false;
    }
    ResetEvent(stopEvent_);
    running_ = true;
    try {
        receiveThread_ = std::thread(&CSerialPortWinBase::receiveThreadProc, this, device, eventRecord_);
    } catch (const std::exception&) {
        running_ = false;
        recordStatus(SerialStatus::InternalError);
        return false;
    }
    return true;
}

void CSerialPortWinBase::close() {
    if (!isOpen()) {
        return;
    }
    const HANDLE device = device_;
    running_ = false;
    // Ends a pending wait for device events; the stop event also ends a pause between passes.
    SetCommMask(device, 0);
    if (stopEvent_ != nullptr) {
        SetEvent(stopEvent_);
    }
    joinReceiveThread();
    PurgeComm(device, kPurgeAll);
    CloseHandle(device);
    device_ = INVALID_HANDLE_VALUE;
    if (eventRecord_.hEvent != nullptr) {
        ResetEvent(eventRecord_.hEvent);
    }
}

void CSerialPortWinBase::joinReceiveThread() {
    // From the thread itself (a listener that closes the port) there is nothing to wait for yet: the
    // thread finds the running flag clear as soon as the listener returns, and the next open or the
    // destructor joins it.
    if (receiveThread_.joinable() && receiveThread_.get_id() != std::this_thread::get_id()) {
        receiveThread_.join();
    }
}

bool CSerialPortWinBase::isOpen() {
    return device_ != INVALID_HANDLE_VALUE;
}

bool CSerialPortWinBase::asynchronousNow() {
    return isOpen() ? openedAsynchronous_ : ioMode() == IoMode::Asynchronous;
}

std::int32_t CSerialPortWinBase::bytesAvailable() {
    if (asynchronousNow()) {
        return static_cast<std::int32_t>(std::min<unsigned int>(receiveBuffer_.usedSize(), INT32_MAX));
    }
    DWORD errors = 0;
    COMSTAT status{};
    // A closed port (or a device that does not answer) has no queue to count.
    if (!ClearCommError(device_, &errors, &status)) {
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

    // The kind of transfer follows how the device was opened: an overlapped device needs a record.
    if (!openedAsynchronous_) {
        const BOOL done = writing ? WriteFile(device, buffer, length, &count, nullptr)
                                  : ReadFile(device, buffer, length, &count, nullptr);
        if (!done) {
            recordStatus(failStatus);
            return -1;
        }
        return static_cast<std::int32_t>(count);
    }

    record.Offset = 0;
    record.OffsetHigh = 0;
    record.Internal = 0;
    record.InternalHigh = 0;
    record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (record.hEvent == nullptr) {
        // Without an event of its own the completion could not be told apart from the receive
        // thread's wait on the same device.
        recordStatus(failStatus);
        return -1;
    }
    std::int32_t result = -1;
    const BOOL done = writing ? WriteFile(device, buffer, length, &count, &record)
                              : ReadFile(device, buffer, length, &count, &record);
    if (done) {
        result = static_cast<std::int32_t>(count);
    } else if (GetLastError() == ERROR_IO_PENDING) {
        // A transfer that ends in failure (the device went away, the transfer was cancelled) is a
        // failure, not a count of nothing.
        if (GetOverlappedResult(device, &record, &count, TRUE)) {
            result = static_cast<std::int32_t>(count);
        } else {
            recordStatus(failStatus);
        }
    } else {
        recordStatus(failStatus);
    }
    CloseHandle(record.hEvent);
    record.hEvent = nullptr;
    return result;
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
    return isOpen() && FlushFileBuffers(device_) != 0;
}

bool CSerialPortWinBase::purgeInput() {
    ScopedLock hold(mutex());
    return isOpen() && PurgeComm(device_, PURGE_RXCLEAR) != 0;
}

bool CSerialPortWinBase::purgeOutput() {
    ScopedLock hold(mutex());
    return isOpen() && PurgeComm(device_, PURGE_TXCLEAR) != 0;
}

void CSerialPortWinBase::setPortName(const char* portName) {
    copyPortName(settings_.portName, portName);
}

const char* CSerialPortWinBase::portName() {
    return settings_.portName;
}

void CSerialPortWinBase::applyConfiguration() {
    SetCommConfig(device_, &config_, kConfigSize);
}

void CSerialPortWinBase::setBaudRate(std::int32_t baudRate) {
    ScopedLock hold(mutex());
    settings_.baudRate = baudRate;
    config_.dcb.BaudRate = static_cast<DWORD>(baudRate);
    if (isOpen()) {
        applyConfiguration();
    }
}

std::int32_t CSerialPortWinBase::baudRate() {
    return settings_.baudRate;
}

void CSerialPortWinBase::setParity(Parity parity) {
    ScopedLock hold(mutex());
    settings_.parity = parity;
    if (!isOpen()) {
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
    if (!isOpen()) {
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
    if (!isOpen()) {
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
    if (!isOpen()) {
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
    if (isOpen()) {
        EscapeCommFunction(device_, on ? SETDTR : CLRDTR);
    }
}

void CSerialPortWinBase::setRts(bool on) {
    ScopedLock hold(mutex());
    if (isOpen()) {
        EscapeCommFunction(device_, on ? SETRTS : CLRRTS);
    }
}

// The thread works on its own copies of the device handle and the event record, taken at open.
void CSerialPortWinBase::receiveThreadProc(HANDLE device, OVERLAPPED eventRecord) {
    unsigned int idlePasses = 0;
    DWORD lastWait = 0;
    while (running_) {
        if (idlePasses < kIdlePassesBeforePolling || GetTickCount() - lastWait >= kWaitRetryMs) {
            lastWait = GetTickCount();
            const bool took = waitForCharacters(device, eventRecord) && takeQueued(device);
            idlePasses = took ? 0 : std::min(idlePasses + 1, kIdlePassesBeforePolling);
        } else {
            pause(kPollMs);
            if (running_ && takeQueued(device)) {
                idlePasses = 0;
            }
        }
    }
}

bool CSerialPortWinBase::waitForCharacters(HANDLE device, OVERLAPPED& eventRecord) {
    // The system writes the mask and the record when the wait completes; both stay alive until then.
    DWORD mask = 0;
    ResetEvent(eventRecord.hEvent);
    if (!WaitCommEvent(device, &mask, &eventRecord)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        const HANDLE wakers[2] = {eventRecord.hEvent, stopEvent_};
        DWORD ignored = 0;
        if (WaitForMultipleObjects(2, wakers, FALSE, INFINITE) != WAIT_OBJECT_0) {
            // Stopping: end the device wait before its mask and record go.
            CancelIo(device);
            GetOverlappedResult(device, &eventRecord, &ignored, TRUE);
            return false;
        }
        if (!GetOverlappedResult(device, &eventRecord, &ignored, FALSE)) {
            return false;
        }
    }
    // An empty mask is how a wait ended by close (which clears the event mask) completes.
    return (mask & EV_RXCHAR) != 0;
}

bool CSerialPortWinBase::takeQueued(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(device, &errors, &status)) {
        return false;
    }
    // Below the threshold the bytes stay in the device's queue for a later pass.
    const DWORD queued = std::min<DWORD>(status.cbInQue, INT32_MAX);
    if (queued < readThreshold()) {
        return false;
    }
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[queued == 0 ? 1 : queued]);
    if (!chunk || !receiveBuffer_.exists()) {
        return false;
    }
    const std::int32_t got = readDevice(chunk.get(), static_cast<std::int32_t>(queued));
    const unsigned int fill = got > 0 ? receiveBuffer_.store(chunk.get(), static_cast<unsigned int>(got))
                                      : receiveBuffer_.usedSize();
    tellListener(fill);
    return got > 0;
}

void CSerialPortWinBase::pause(DWORD milliseconds) {
    if (WaitForSingleObject(stopEvent_, milliseconds) == WAIT_FAILED) {
        Sleep(milliseconds);
    }
}
