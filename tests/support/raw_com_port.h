#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// A COM port opened with plain kernel32 calls, as the far end of a cable in the Windows tests: raw at
// 115200 8N1 without flow control, both directions purged, closed when it goes. Reads wait as the read
// time-outs say (interval between bytes and total per read, in milliseconds; an interval of MAXDWORD
// with a total of 0 returns at once with what is there). The line setup is not checked: isOpen() only
// says whether the handle came.
class RawComPort {
public:
    // Opens the port without touching its line settings, time-outs or buffers: an observer that reads
    // back what another handle on the device applied.
    struct AsIs {};

    RawComPort(const char* name, DWORD readIntervalMs, DWORD readTotalMs) : handle_(openHandle(name)) {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(handle_, &dcb);
        dcb.BaudRate = 115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = 1;
        dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 0;
        SetCommState(handle_, &dcb);
        setReadTimeouts(readIntervalMs, readTotalMs);
        PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    RawComPort(const char* name, AsIs) : handle_(openHandle(name)) {}
    ~RawComPort() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    RawComPort(const RawComPort&) = delete;
    RawComPort& operator=(const RawComPort&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return handle_; }

    void setReadTimeouts(DWORD readIntervalMs, DWORD readTotalMs) {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = readIntervalMs;
        timeouts.ReadTotalTimeoutConstant = readTotalMs;
        SetCommTimeouts(handle_, &timeouts);
    }

    // Writes all size bytes; false when a write fails or stops short. written, when given, gets the
    // count that went out.
    bool writeAll(const void* data, std::size_t size, std::size_t* written = nullptr) {
        const char* next = static_cast<const char*>(data);
        std::size_t done = 0;
        while (done < size) {
            DWORD n = 0;
            if (!WriteFile(handle_, next + done, static_cast<DWORD>(size - done), &n, nullptr) || n == 0) {
                break;
            }
            done += n;
        }
        if (written != nullptr) {
            *written = done;
        }
        return done == size;
    }
    bool writeAll(const std::string& bytes) { return writeAll(bytes.data(), bytes.size()); }

    // One read of up to size bytes, waiting as the read time-outs say; false when the read fails.
    // received gets the count that came, 0 when the time-outs ran out first.
    bool read(void* buffer, std::size_t size, std::size_t& received) {
        DWORD n = 0;
        const bool ok = ReadFile(handle_, buffer, static_cast<DWORD>(size), &n, nullptr) != FALSE;
        received = ok ? n : 0;
        return ok;
    }

    // Whatever arrives within limitMs for each read (a read also ends after 50 ms without a byte), up
    // to want bytes.
    std::string receive(std::size_t want, DWORD limitMs) {
        setReadTimeouts(50, limitMs);
        std::string got;
        char chunk[64];
        std::size_t n = 0;
        while (got.size() < want &&
               read(chunk, want - got.size() < sizeof chunk ? want - got.size() : sizeof chunk, n) && n > 0) {
            got.append(chunk, n);
        }
        return got;
    }

private:
    static HANDLE openHandle(const char* name) {
        const std::string path = std::string("\\\\.\\") + name;
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    HANDLE handle_;
};
