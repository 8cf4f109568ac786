// The COM ports of the Wine test session: COM5 and COM6 are the two ends of one null-modem cable, and
// COM7 and COM8 exist but lead nowhere until a test connects them
// (tests/support/wine/wine-ports connect COM7 /dev/pts/N). Run under wine-session.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

HANDLE openPort(const char* name) {
    std::string path = std::string("\\\\.\\") + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return h;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = 0;
    SetCommState(h, &dcb);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 100;
    timeouts.ReadTotalTimeoutConstant = 2000;
    SetCommTimeouts(h, &timeouts);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return h;
}

std::vector<unsigned char> readUpTo(HANDLE h, std::size_t want) {
    std::vector<unsigned char> got;
    for (int round = 0; round < 20 && got.size() < want; ++round) {
        unsigned char chunk[4096];
        DWORD n = 0;
        if (!ReadFile(h, chunk, static_cast<DWORD>(std::min(sizeof chunk, want - got.size())), &n, nullptr))
            break;
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

TEST(WinePorts, TheSessionsPortsAreKnownDevices) {
    char target[512];
    for (const char* name : {"COM5", "COM6", "COM7", "COM8"}) {
        EXPECT_NE(QueryDosDeviceA(name, target, sizeof target), 0u) << name;
    }
}

TEST(WinePorts, Com5AndCom6AreOneCableBothWays) {
    HANDLE com5 = openPort("COM5");
    HANDLE com6 = openPort("COM6");
    ASSERT_NE(com5, INVALID_HANDLE_VALUE);
    ASSERT_NE(com6, INVALID_HANDLE_VALUE);

    std::vector<unsigned char> bytes;
    for (int v = 0; v < 256; ++v)
        bytes.push_back(static_cast<unsigned char>(v));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(com5, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(readUpTo(com6, bytes.size()), bytes);

    const std::vector<unsigned char> frame = {0xAA, 0x0C, 0x01, 0x64, 0x00, 0xC3};
    ASSERT_TRUE(WriteFile(com6, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr));
    EXPECT_EQ(readUpTo(com5, frame.size()), frame);

    CloseHandle(com5);
    CloseHandle(com6);
}

TEST(WinePorts, UnconnectedPortsAreNoSerialDevices) {
    // Wine hands out a handle for a port whose link leads nowhere, but the line cannot be set up, so
    // the port library's open fails there, as it does for a port that has gone.
    HANDLE h =
        CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_FALSE(GetCommState(h, &dcb));
    CloseHandle(h);
}

}  // namespace
