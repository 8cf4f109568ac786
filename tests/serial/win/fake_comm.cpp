#include "fake_comm.h"

#include <algorithm>
#include <cstring>

namespace {

// What an overlapped record holds while its operation is under way (the system's STATUS_PENDING).
constexpr ULONG_PTR kPending = 0x103;

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

void FakeComm::complete(OVERLAPPED* overlapped, DWORD error, DWORD count) {
    overlapped->Internal = error;
    overlapped->InternalHigh = count;
    SetEvent(overlapped->hEvent);
}

void FakeComm::completeWait(DWORD mask, DWORD error) {
    if (pendingWait_ == nullptr) {
        return;
    }
    *pendingMask_ = mask;
    complete(pendingWait_, error, 0);
    pendingWait_ = nullptr;
    pendingMask_ = nullptr;
}

void FakeComm::completeWrite(DWORD error) {
    if (pendingWrite_ == nullptr) {
        return;
    }
    const auto taken = static_cast<DWORD>(error == 0 ? heldBytes_.size() : 0);
    if (error == 0) {
        output_ += heldBytes_;
    }
    complete(pendingWrite_, error, taken);
    pendingWrite_ = nullptr;
    heldBytes_.clear();
}

bool FakeComm::scriptedFailure(Call call) {
    auto found = failures_.find(call);
    if (found == failures_.end() || found->second.first == 0) {
        return false;
    }
    --found->second.first;
    SetLastError(found->second.second);
    return true;
}

bool FakeComm::failsNow(Call call) {
    std::lock_guard<std::mutex> hold(mutex_);
    return scriptedFailure(call);
}

bool FakeComm::answers(HANDLE device) {
    std::lock_guard<std::mutex> hold(mutex_);
    return usable(device) != nullptr;
}

void FakeComm::failNext(Call call, DWORD error, int times) {
    std::lock_guard<std::mutex> hold(mutex_);
    failures_[call] = {times, error};
}

void FakeComm::setWritesHeld(bool held) {
    std::lock_guard<std::mutex> hold(mutex_);
    writesHeld_ = held;
    if (!held) {
        completeWrite(0);
    }
}

bool FakeComm::writePending() {
    std::lock_guard<std::mutex> hold(mutex_);
    return pendingWrite_ != nullptr;
}

FakeComm::Handle* FakeComm::usable(HANDLE device) {
    const auto found = handles_.find(device);
    if (found == handles_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (found->second.device != device_ || removed_) {
        SetLastError(removalError_);
        return nullptr;
    }
    return &found->second;
}

void FakeComm::arrive(const std::string& bytes) {
    std::lock_guard<std::mutex> hold(mutex_);
    input_ += bytes;
    if ((mask_ & EV_RXCHAR) == 0) {
        return;
    }
    if (pendingWait_ != nullptr) {
        completeWait(EV_RXCHAR, 0);
    } else {
        arrivedSinceWait_ = true;
    }
}

std::string FakeComm::takeWritten() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(output_, std::string());
}

void FakeComm::remove(DWORD error) {
    std::lock_guard<std::mutex> hold(mutex_);
    removed_ = true;
    removalError_ = error;
    completeWait(0, ERROR_OPERATION_ABORTED);
    completeWrite(error);
}

void FakeComm::restore() {
    std::lock_guard<std::mutex> hold(mutex_);
    removed_ = false;
    ++device_;
    input_.clear();
    output_.clear();
    mask_ = 0;
    arrivedSinceWait_ = false;
}

void FakeComm::abortWait() {
    std::lock_guard<std::mutex> hold(mutex_);
    completeWait(0, ERROR_OPERATION_ABORTED);
}

bool FakeComm::waitPending() {
    std::lock_guard<std::mutex> hold(mutex_);
    return pendingWait_ != nullptr;
}

int FakeComm::openHandles() {
    std::lock_guard<std::mutex> hold(mutex_);
    return static_cast<int>(handles_.size());
}

std::string FakeComm::lastPath() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lastPath_;
}

HANDLE FakeComm::createFile(const char* path, DWORD, DWORD, DWORD, DWORD flags) {
    std::lock_guard<std::mutex> hold(mutex_);
    lastPath_ = path;
    if (lastPath_ != "\\\\.\\" + name_ || removed_) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    for (const auto& entry : handles_) {
        if (entry.second.device == device_) {
            SetLastError(ERROR_ACCESS_DENIED);  // a COM port opens once
            return INVALID_HANDLE_VALUE;
        }
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x10000 + 4 * nextHandle_++));
    handles_[handle] = Handle{device_, (flags & FILE_FLAG_OVERLAPPED) != 0};
    mask_ = 0;
    arrivedSinceWait_ = false;
    return handle;
}

BOOL FakeComm::closeHandle(HANDLE device) {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = handles_.find(device);
    if (found == handles_.end()) {
        ++strayCloses;
        return fail(ERROR_INVALID_HANDLE);
    }
    if (found->second.device == device_) {
        completeWait(0, ERROR_OPERATION_ABORTED);
        completeWrite(ERROR_OPERATION_ABORTED);
    }
    handles_.erase(found);
    return TRUE;
}

BOOL FakeComm::getCommConfig(HANDLE device, COMMCONFIG* config, DWORD* size) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr) {
        return FALSE;
    }
    *config = COMMCONFIG{};
    config->dwSize = sizeof(COMMCONFIG);
    config->dcb = dcb_;
    *size = sizeof(COMMCONFIG);
    return TRUE;
}

BOOL FakeComm::getCommState(HANDLE device, DCB* dcb) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr) {
        return FALSE;
    }
    *dcb = dcb_;
    return TRUE;
}

BOOL FakeComm::setCommConfig(HANDLE device, COMMCONFIG* config, DWORD) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr) {
        return FALSE;
    }
    if (config->dcb.ByteSize < 5 || config->dcb.ByteSize > 8) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    dcb_ = config->dcb;
    return TRUE;
}

BOOL FakeComm::setCommMask(HANDLE device, DWORD mask) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr || scriptedFailure(Call::SetCommMask)) {
        return FALSE;
    }
    mask_ = mask;
    arrivedSinceWait_ = false;
    if (maskEndsWait) {
        completeWait(0, 0);
    }
    return TRUE;
}

BOOL FakeComm::waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) {
    std::lock_guard<std::mutex> hold(mutex_);
    ++waits;
    const Handle* handle = usable(device);
    if (handle == nullptr) {
        return FALSE;
    }
    if (!handle->overlapped || overlapped == nullptr || pendingWait_ != nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    overlapped->Internal = kPending;
    if (waitsFail) {
        *mask = 0;
        complete(overlapped, ERROR_OPERATION_ABORTED, 0);
        return fail(ERROR_IO_PENDING);
    }
    if (arrivedSinceWait_) {
        arrivedSinceWait_ = false;
        *mask = EV_RXCHAR;
        complete(overlapped, 0, 0);
        return TRUE;
    }
    pendingMask_ = mask;
    pendingWait_ = overlapped;
    waitThread_ = std::this_thread::get_id();
    return fail(ERROR_IO_PENDING);
}

BOOL FakeComm::clearCommError(HANDLE device, DWORD* errors, COMSTAT* status) {
    std::lock_guard<std::mutex> hold(mutex_);
    ++queueQueries;
    if (usable(device) == nullptr || scriptedFailure(Call::ClearCommError)) {
        return FALSE;
    }
    *errors = lineErrors.exchange(0);
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(input_.size());
    status->cbOutQue = static_cast<DWORD>(heldBytes_.size());
    return TRUE;
}

BOOL FakeComm::purgeComm(HANDLE device, DWORD flags) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr) {
        return FALSE;
    }
    if ((flags & PURGE_RXCLEAR) != 0) {
        input_.clear();
    }
    if ((flags & PURGE_TXABORT) != 0) {
        completeWrite(ERROR_OPERATION_ABORTED);
    }
    return TRUE;
}

BOOL FakeComm::readFile(HANDLE device, void* buffer, DWORD size, DWORD* count, OVERLAPPED* overlapped) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr) {
        return FALSE;
    }
    // The port's read time-outs make a read return at once with what is there.
    const DWORD n = std::min<DWORD>(size, static_cast<DWORD>(input_.size()));
    std::memcpy(buffer, input_.data(), n);
    input_.erase(0, n);
    *count = n;
    if (overlapped == nullptr) {
        return TRUE;
    }
    complete(overlapped, 0, n);
    if (!readsPend) {
        return TRUE;
    }
    *count = 0;
    return fail(ERROR_IO_PENDING);
}

BOOL FakeComm::writeFile(HANDLE device, const void* data, DWORD size, DWORD* count, OVERLAPPED* overlapped) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (usable(device) == nullptr) {
        return FALSE;
    }
    const DWORD n = writeTimesOut ? size / 2 : size;
    if (overlapped != nullptr && writesHeld_ && pendingWrite_ == nullptr) {
        // Held back by the line: it pends, its bytes in the output queue.
        overlapped->Internal = kPending;
        heldBytes_.assign(static_cast<const char*>(data), n);
        pendingWrite_ = overlapped;
        writeThread_ = std::this_thread::get_id();
        *count = 0;
        return fail(ERROR_IO_PENDING);
    }
    output_.append(static_cast<const char*>(data), n);
    *count = n;
    if (overlapped == nullptr) {
        return TRUE;
    }
    // An overlapped write to a serial port pends; this one is done by the time the port waits.
    *count = 0;
    overlapped->Internal = kPending;
    complete(overlapped, 0, n);
    return fail(ERROR_IO_PENDING);
}

BOOL FakeComm::getOverlappedResult(HANDLE, OVERLAPPED* overlapped, DWORD* count, BOOL wait) {
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (overlapped != pendingWait_ && scriptedFailure(Call::GetOverlappedResult)) {
                return FALSE;
            }
            if (overlapped->Internal != kPending) {
                *count = static_cast<DWORD>(overlapped->InternalHigh);
                if (overlapped->Internal != 0) {
                    return fail(static_cast<DWORD>(overlapped->Internal));
                }
                return TRUE;
            }
            if (!wait) {
                return fail(ERROR_IO_INCOMPLETE);
            }
        }
        WaitForSingleObject(overlapped->hEvent, INFINITE);
    }
}

BOOL FakeComm::cancelIo(HANDLE device) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (handles_.count(device) == 0) {
        return fail(ERROR_INVALID_HANDLE);
    }
    // Only what the calling thread started.
    if (waitThread_ == std::this_thread::get_id()) {
        completeWait(0, ERROR_OPERATION_ABORTED);
    }
    if (writeThread_ == std::this_thread::get_id()) {
        completeWrite(ERROR_OPERATION_ABORTED);
    }
    return TRUE;
}

// The system's own calls, unless the script fails them.
HANDLE FakeComm::createEvent(BOOL manualReset, BOOL initialState) {
    return failsNow(Call::CreateEvent) ? nullptr : WinCommApi::createEvent(manualReset, initialState);
}

DWORD FakeComm::waitForMultipleObjects(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    return failsNow(Call::Wait) ? WAIT_FAILED
                                : WinCommApi::waitForMultipleObjects(count, handles, milliseconds);
}

bool FakeComm::startThread(std::thread& thread, std::function<void()> body) {
    return !failsNow(Call::StartThread) && WinCommApi::startThread(thread, std::move(body));
}
