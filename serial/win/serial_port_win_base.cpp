#include "serial/win/serial_port_win_base.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

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
    std::atomic<int> writesUnderWay{0};
    std::atomic<bool> outputAborted{false};  // close aborted a write under way
};

namespace {

constexpr DWORD kConfigSize = 52;
static_assert(sizeof(COMMCONFIG) == kConfigSize, "the configuration record is handed whole to the device");

// "\\.\" opens every COM name, COM10 and above included.
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;

// Input is discarded at open and close. Output is discarded only to end a write the line holds up:
// what a write reported as written is never taken back. (Under Wine a purge of a pseudo-terminal's
// output empties its peer's unread input, and some USB adapters' drivers empty the adapter's own
// transmit buffer: either would lose a frame written just before the close.)
constexpr DWORD kPurgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
constexpr DWORD kPurgeOutput = PURGE_TXABORT | PURGE_TXCLEAR;

// A device that cannot wait for characters shows it by failing its waits. After this many failures in
// a row the receive thread looks at the input queue every kPollMs, and tries the wait again every
// kWaitRetryMs; the first wait that works ends the polling.
constexpr unsigned int kFailedWaitsBeforePolling = 3;
constexpr DWORD kPollMs = 10;
constexpr DWORD kWaitRetryMs = 1000;

// How often a pending transfer looks whether the device is still taking its bytes, and how often a
// close looks whether queued output has left.
constexpr DWORD kProgressCheckMs = 100;
constexpr DWORD kDrainCheckMs = 5;

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

WinSession& winSession(PortSession& session) {
    return static_cast<WinSession&>(session);
}

// Counts a write as under way while it lives. It is counted before the write looks at `running`, the
// reverse of close's order (interruptDevice): a close either sees the write and aborts it, or the
// write sees the close and starts nothing.
class WriteUnderWay {
public:
    WriteUnderWay(WinSession& session, bool writing) : writes_(writing ? &session.writesUnderWay : nullptr) {
        if (writes_ != nullptr) {
            ++*writes_;
        }
    }
    ~WriteUnderWay() {
        if (writes_ != nullptr) {
            --*writes_;
        }
    }
    WriteUnderWay(const WriteUnderWay&) = delete;
    WriteUnderWay& operator=(const WriteUnderWay&) = delete;

private:
    std::atomic<int>* writes_;
};

}  // namespace

CSerialPortWinBase::CSerialPortWinBase() : CSerialPortWinBase(kernel32CommApi()) {}

CSerialPortWinBase::CSerialPortWinBase(WinCommApi& api) : api_(api) {
    attachDevice(*this);
}

CSerialPortWinBase::~CSerialPortWinBase() {
    endPort();
}

void CSerialPortWinBase::init(const char* portName, std::int32_t baudRate, Parity parity,
                              std::int32_t dataBits, StopBits stopBits, FlowControl flowControl,
                              std::uint32_t readBufferSize) {
    initPort(portName, baudRate, parity, dataBits, stopBits, flowControl, readBufferSize);
}

bool CSerialPortWinBase::open() {
    return openPort();
}

void CSerialPortWinBase::close() {
    closePort();
}

std::shared_ptr<PortSession> CSerialPortWinBase::openDevice(bool asynchronous) {
    const PortSettings& line = settings();
    char path[kDevicePrefixLength + kPortNameCapacity];
    std::memcpy(path, kDevicePrefix, kDevicePrefixLength);
    std::memcpy(path + kDevicePrefixLength, line.portName, kPortNameCapacity);
    config_.dwSize = kConfigSize;

    const HANDLE device = api_.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                          asynchronous ? FILE_FLAG_OVERLAPPED : 0);
    if (device == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        recordStatus(error == ERROR_FILE_NOT_FOUND  ? SerialStatus::NotFound
                     : error == ERROR_ACCESS_DENIED ? SerialStatus::AccessDenied
                                                    : SerialStatus::OpenFailed);
        return nullptr;
    }
    // Whatever fails from here on releases the device as close would, and leaves the port closed.
    opening_ = device;
    const auto fail = [&](SerialStatus status) {
        opening_ = INVALID_HANDLE_VALUE;
        api_.setCommMask(device, 0);
        api_.purgeComm(device, kPurgeInput);
        api_.closeHandle(device);
        recordStatus(status);
        return nullptr;
    };

    DWORD configSize = kConfigSize;
    api_.getCommConfig(device, &config_, &configSize);
    api_.getCommState(device, &config_.dcb);
    // A device that asks for a larger record has filled none; never hand over more than the record.
    configSize = std::min(configSize, kConfigSize);

    DCB& dcb = config_.dcb;
    dcb.BaudRate = static_cast<DWORD>(line.baudRate);
    dcb.ByteSize = lowByte(line.dataBits);
    dcb.Parity = lowByte(static_cast<std::int32_t>(line.parity));
    dcb.StopBits = lowByte(static_cast<std::int32_t>(line.stopBits));
    dcb.fBinary = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    setFlowControl(line.flowControl);

    if (!api_.setCommConfig(device, &config_, configSize)) {
        return fail(SerialStatus::InvalidParam);
    }
    api_.purgeComm(device, kPurgeInput);

    // Reads return at once with what has arrived. A plain write is ended by the driver once it has
    // had the time its bytes need on the line and the stall limit besides; an overlapped one is
    // watched while it pends (awaitTransfer).
    timeouts_ = COMMTIMEOUTS{};
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    if (!asynchronous) {
        const long long rate = line.baudRate > 0 ? line.baudRate : 1;
        timeouts_.WriteTotalTimeoutMultiplier =
            static_cast<DWORD>(std::min<long long>((12000 + rate - 1) / rate, 60000));
        timeouts_.WriteTotalTimeoutConstant = static_cast<DWORD>(writeStallLimitMs(line.baudRate));
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
    if (asynchronous) {
        session->waitEvent = api_.createEvent(TRUE, FALSE);
        session->stopEvent = api_.createEvent(TRUE, FALSE);
        if (session->waitEvent == nullptr || session->stopEvent == nullptr) {
            return fail(SerialStatus::InternalError);
        }
    }
    session->device = device;
    opening_ = INVALID_HANDLE_VALUE;
    return session;
}

bool CSerialPortWinBase::startThread(PortSession& session, std::function<void()> body) {
    return api_.startThread(session.thread, std::move(body));
}

void CSerialPortWinBase::interruptDevice(PortSession& session) {
    WinSession& held = winSession(session);
    // Clearing the event mask completes a pending wait for device events, and the aborts end the
    // transfers of every thread on the device; the stop event ends a pause between polls. `running` is
    // clear by now, so a write either is counted here or sees the close and starts nothing (transfer).
    api_.setCommMask(held.device, 0);
    DWORD purge = PURGE_RXABORT;
    if (held.writesUnderWay > 0) {
        held.outputAborted = true;
        purge |= kPurgeOutput;
    }
    api_.purgeComm(held.device, purge);
    if (held.stopEvent != nullptr) {
        SetEvent(held.stopEvent);
    }
}

void CSerialPortWinBase::releaseDevice(PortSession& session) {
    WinSession& held = winSession(session);
    const bool outputLeft = !held.outputAborted && outputDrains(held.device);
    api_.purgeComm(held.device, outputLeft ? kPurgeInput : kPurgeInput | kPurgeOutput);
    api_.closeHandle(held.device);
}

DWORD CSerialPortWinBase::queuedOutput(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    return api_.clearCommError(device, &errors, &status) ? status.cbOutQue : MAXDWORD;
}

bool CSerialPortWinBase::outputDrains(HANDLE device) {
    const DWORD stallLimit = static_cast<DWORD>(closeStallLimitMs(settings().baudRate));
    DWORD lastQueued = MAXDWORD;
    DWORD quietSince = GetTickCount();
    for (;;) {
        const DWORD queued = queuedOutput(device);
        if (queued == 0 || queued == MAXDWORD) {
            return queued == 0;
        }
        if (queued < lastQueued) {
            lastQueued = queued;
            quietSince = GetTickCount();
        } else if (GetTickCount() - quietSince >= stallLimit) {
            return false;
        }
        Sleep(kDrainCheckMs);
    }
}

HANDLE CSerialPortWinBase::heldDevice() {
    if (opening_ != INVALID_HANDLE_VALUE) {
        return opening_;
    }
    const auto held = session();
    return held ? winSession(*held).device : INVALID_HANDLE_VALUE;
}

bool CSerialPortWinBase::isOpen() {
    return portOpen();
}

std::int32_t CSerialPortWinBase::bytesAvailable() {
    if (readsFromBuffer()) {
        return static_cast<std::int32_t>(std::min<unsigned int>(receiveBuffer().usedSize(), INT32_MAX));
    }
    // Under the lock, so that the handle asked is never one a close is releasing.
    ScopedLock hold(mutex());
    DWORD errors = 0;
    COMSTAT status{};
    // A closed port (or a device that does not answer) has no queue to count.
    const auto held = openSession();
    if (!held || !api_.clearCommError(winSession(*held).device, &errors, &status)) {
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
    if (readsFromBuffer()) {
        return static_cast<std::int32_t>(receiveBuffer().take(buffer, static_cast<unsigned int>(size)));
    }
    return ownerTransfer(false, buffer, size, SerialStatus::ReadFailed);
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
    return ownerTransfer(true, const_cast<char*>(data), size, SerialStatus::WriteFailed);
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
    return ownerTransfer(false, buffer, size, SerialStatus::ReadFailed);
}

std::int32_t CSerialPortWinBase::ownerTransfer(bool writing, char* buffer, std::int32_t size,
                                               SerialStatus failStatus) {
    const auto held = openSession();
    if (!held) {
        recordStatus(SerialStatus::NotOpen);
        return -1;
    }
    DWORD count = 0;
    DWORD error = 0;
    if (transfer(winSession(*held), writing, buffer, static_cast<DWORD>(size), count, error)) {
        return static_cast<std::int32_t>(count);
    }
    recordStatus(failStatus);
    if (isDeviceGoneError(error)) {
        markLost(*held, failStatus);
    }
    return -1;
}

bool CSerialPortWinBase::transfer(WinSession& session, bool writing, char* buffer, DWORD length, DWORD& count,
                                  DWORD& error) {
    count = 0;
    bool done = false;
    error = 0;
    const WriteUnderWay counted(session, writing);
    if (writing && !session.running) {
        error = ERROR_OPERATION_ABORTED;  // the port is closing: nothing is started
        return false;
    }
    // The kind of transfer follows how the device was opened: an overlapped device needs a record.
    if (!session.asynchronous) {
        done = writing ? api_.writeFile(session.device, buffer, length, &count, nullptr)
                       : api_.readFile(session.device, buffer, length, &count, nullptr);
        error = done ? 0 : GetLastError();
    } else {
        OVERLAPPED& record = writing ? writeRecord_ : readRecord_;
        record = OVERLAPPED{};
        // An event of its own: the completion must not be taken for the receive thread's.
        record.hEvent = api_.createEvent(TRUE, FALSE);
        if (record.hEvent == nullptr) {
            error = GetLastError();
            return false;
        }
        done = writing ? api_.writeFile(session.device, buffer, length, &count, &record)
                       : api_.readFile(session.device, buffer, length, &count, &record);
        error = done ? 0 : GetLastError();
        if (!done && error == ERROR_IO_PENDING) {
            done = awaitTransfer(session, writing, record, count, error);
        }
        CloseHandle(record.hEvent);
        record.hEvent = nullptr;
    }
    // A write the device ended early ran out of its time: the frame is not out, which is a failure.
    if (done && writing && count != length) {
        error = ERROR_WRITE_FAULT;
        return false;
    }
    return done;
}

bool CSerialPortWinBase::awaitTransfer(WinSession& session, bool writing, OVERLAPPED& record, DWORD& count,
                                       DWORD& error) {
    const DWORD stallLimit = static_cast<DWORD>(writeStallLimitMs(settings().baudRate));
    // A write that the line takes is still going: its bytes leave the output queue.
    const auto writeQueued = [&] { return writing ? queuedOutput(session.device) : MAXDWORD; };
    DWORD quietSince = GetTickCount();
    DWORD lastQueued = writeQueued();
    for (;;) {
        const DWORD woken = api_.waitForMultipleObjects(1, &record.hEvent, kProgressCheckMs);
        if (woken == WAIT_OBJECT_0) {
            break;
        }
        if (woken == WAIT_TIMEOUT) {
            const DWORD queued = writeQueued();
            if (queued != lastQueued) {
                lastQueued = queued;
                quietSince = GetTickCount();
                continue;
            }
            if (GetTickCount() - quietSince < stallLimit) {
                continue;
            }
        }
        // Held up past the limit (or the wait failed): this thread started it, so CancelIo ends it.
        api_.cancelIo(session.device);
        break;
    }
    const bool done = api_.getOverlappedResult(session.device, &record, &count, TRUE);
    error = done ? 0 : GetLastError();
    return done;
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
    const auto held = openSession();
    return held && api_.flushFileBuffers(winSession(*held).device) != 0;
}

bool CSerialPortWinBase::purgeInput() {
    ScopedLock hold(mutex());
    const auto held = openSession();
    return held && api_.purgeComm(winSession(*held).device, PURGE_RXCLEAR) != 0;
}

bool CSerialPortWinBase::purgeOutput() {
    ScopedLock hold(mutex());
    const auto held = openSession();
    return held && api_.purgeComm(winSession(*held).device, PURGE_TXCLEAR) != 0;
}

void CSerialPortWinBase::setPortName(const char* portName) {
    copyPortName(settings().portName, portName);
}

const char* CSerialPortWinBase::portName() {
    return settings().portName;
}

void CSerialPortWinBase::applyConfiguration() {
    api_.setCommConfig(heldDevice(), &config_, kConfigSize);
}

void CSerialPortWinBase::setBaudRate(std::int32_t baudRate) {
    ScopedLock hold(mutex());
    settings().baudRate = baudRate;
    config_.dcb.BaudRate = static_cast<DWORD>(baudRate);
    if (heldDevice() != INVALID_HANDLE_VALUE) {
        applyConfiguration();
    }
}

std::int32_t CSerialPortWinBase::baudRate() {
    return settings().baudRate;
}

void CSerialPortWinBase::setParity(Parity parity) {
    ScopedLock hold(mutex());
    settings().parity = parity;
    if (heldDevice() == INVALID_HANDLE_VALUE) {
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
    return settings().parity;
}

// A setting that would pair wrongly with the other is stored and waits.
void CSerialPortWinBase::setDataBits(std::int32_t dataBits) {
    ScopedLock hold(mutex());
    settings().dataBits = dataBits;
    if (heldDevice() == INVALID_HANDLE_VALUE) {
        return;
    }
    if (dataBitsFitStopBits(dataBits, settings().stopBits)) {
        config_.dcb.ByteSize = lowByte(dataBits);
        applyConfiguration();
    }
}

std::int32_t CSerialPortWinBase::dataBits() {
    return settings().dataBits;
}

void CSerialPortWinBase::setStopBits(StopBits stopBits) {
    ScopedLock hold(mutex());
    settings().stopBits = stopBits;
    if (heldDevice() == INVALID_HANDLE_VALUE) {
        return;
    }
    if (stopBitsFitDataBits(stopBits, settings().dataBits)) {
        config_.dcb.StopBits = lowByte(static_cast<std::int32_t>(stopBits));
        applyConfiguration();
    }
}

StopBits CSerialPortWinBase::stopBits() {
    return settings().stopBits;
}

void CSerialPortWinBase::setFlowControl(FlowControl flowControl) {
    ScopedLock hold(mutex());
    settings().flowControl = flowControl;
    if (heldDevice() == INVALID_HANDLE_VALUE) {
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
    return settings().flowControl;
}

// Changes what readBufferSize reports while the port is open; the ring buffer keeps its size.
void CSerialPortWinBase::setReadBufferSize(std::uint32_t size) {
    ScopedLock hold(mutex());
    if (isOpen()) {
        settings().readBufferSize = size;
    }
}

std::uint32_t CSerialPortWinBase::readBufferSize() {
    return settings().readBufferSize;
}

void CSerialPortWinBase::setDtr(bool on) {
    ScopedLock hold(mutex());
    if (const HANDLE device = heldDevice(); device != INVALID_HANDLE_VALUE) {
        api_.escapeCommFunction(device, on ? SETDTR : CLRDTR);
    }
}

void CSerialPortWinBase::setRts(bool on) {
    ScopedLock hold(mutex());
    if (const HANDLE device = heldDevice(); device != INVALID_HANDLE_VALUE) {
        api_.escapeCommFunction(device, on ? SETRTS : CLRRTS);
    }
}

// The thread uses the device only while it holds the session's deviceUse, and looks at `running` each
// time it takes it: once close has cleared it and taken the lock, the thread never touches the device
// or the port again. It ends when the session stops or the device goes.
void CSerialPortWinBase::receiveLoop(PortSession& base) {
    WinSession& session = winSession(base);
    unsigned int failedWaits = 0;
    unsigned int goneWaits = 0;
    DWORD lastWait = 0;
    bool pollNow = false;
    for (;;) {
        std::unique_lock<std::mutex> use(session.deviceUse);
        if (!session.running || session.lost) {
            return;
        }
        if (pollNow) {
            pollNow = false;
            if (!takeQueued(session, use)) {
                return;
            }
            continue;
        }
        if (failedWaits >= kFailedWaitsBeforePolling && GetTickCount() - lastWait < kWaitRetryMs) {
            use.unlock();
            pause(session, kPollMs);
            pollNow = true;
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
                if (!takeQueued(session, use)) {
                    return;
                }
                break;
            case WaitResult::Failed:
                failedWaits = std::min(failedWaits + 1, kFailedWaitsBeforePolling);
                goneWaits = isDeviceGoneError(error) ? goneWaits + 1 : 0;
                if (goneWaits >= kFailedWaitsBeforePolling) {
                    lostDevice(use, session);
                    return;
                }
                // Whatever the wait could not tell, the queue can: bytes that came, or a device gone.
                if (!takeQueued(session, use)) {
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
        const DWORD woken = api_.waitForMultipleObjects(2, wakers, INFINITE);
        DWORD ignored = 0;
        if (woken != WAIT_OBJECT_0) {
            // Stopping (or the wait failed): end the device wait, which this thread started, before its
            // mask and record go.
            error = woken == WAIT_FAILED ? GetLastError() : 0;
            api_.cancelIo(session.device);
            api_.getOverlappedResult(session.device, &record, &ignored, TRUE);
            return woken == WAIT_OBJECT_0 + 1 ? WaitResult::Stopped : WaitResult::Failed;
        }
        if (!api_.getOverlappedResult(session.device, &record, &ignored, FALSE)) {
            error = GetLastError();
            return WaitResult::Failed;
        }
    }
    // An empty mask is how a wait ended by close (which clears the event mask) completes.
    return (mask & EV_RXCHAR) != 0 ? WaitResult::Characters : WaitResult::Nothing;
}

bool CSerialPortWinBase::takeQueued(WinSession& session, std::unique_lock<std::mutex>& deviceUse) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!api_.clearCommError(session.device, &errors, &status)) {
        if (isDeviceGoneError(GetLastError())) {
            lostDevice(deviceUse, session);
            return false;
        }
        return true;  // the next character event asks again
    }
    // Below the threshold, or without a buffer to fill, the bytes stay in the device's queue.
    const DWORD queued = std::min<DWORD>(status.cbInQue, INT32_MAX);
    if (queued == 0 || queued < readThreshold() || !receiveBuffer().exists()) {
        return true;
    }
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[queued]);
    if (!chunk) {
        return true;
    }
    DWORD count = 0;
    DWORD error = 0;
    bool done;
    {
        // The thread's own read: it judges only its session, so it records nothing when another thread
        // has closed the port or found the device gone first.
        ScopedLock hold(mutex());
        done = transfer(session, false, chunk.get(), queued, count, error);
        if (!done && !isDeviceGoneError(error) && session.running && !session.lost) {
            recordStatus(SerialStatus::ReadFailed);
        }
    }
    if (!done) {
        if (isDeviceGoneError(error)) {
            lostDevice(deviceUse, session);
            return false;
        }
        return true;
    }
    if (count > 0) {
        // Tells the name this thread was started with; nothing of the port is touched after this call.
        deliver(deviceUse, session, chunk.get(), count);
    }
    return true;
}

void CSerialPortWinBase::pause(WinSession& session, DWORD milliseconds) {
    if (api_.waitForMultipleObjects(1, &session.stopEvent, milliseconds) == WAIT_FAILED) {
        Sleep(milliseconds);
    }
}
