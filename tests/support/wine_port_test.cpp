// The COM ports of the Wine test session: COM5 and COM6 are the two ends of one null-modem cable, and
// COM7 and COM8 exist but lead nowhere until a test connects them
// (tests/support/wine/wine-ports connect COM7 /dev/pts/N). Run under wine-session.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/raw_com_port.h"

namespace {

// Each read waits 100 ms between bytes and 2 s in all.
constexpr DWORD kReadIntervalMs = 100;
constexpr DWORD kReadTotalMs = 2000;

std::vector<unsigned char> readUpTo(RawComPort& port, std::size_t want) {
    std::vector<unsigned char> got;
    for (int round = 0; round < 20 && got.size() < want; ++round) {
        unsigned char chunk[4096];
        std::size_t n = 0;
        if (!port.read(chunk, std::min(sizeof chunk, want - got.size()), n))
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
    RawComPort com5("COM5", kReadIntervalMs, kReadTotalMs);
    RawComPort com6("COM6", kReadIntervalMs, kReadTotalMs);
    ASSERT_NE(com5.handle(), INVALID_HANDLE_VALUE);
    ASSERT_NE(com6.handle(), INVALID_HANDLE_VALUE);

    std::vector<unsigned char> bytes;
    for (int v = 0; v < 256; ++v)
        bytes.push_back(static_cast<unsigned char>(v));
    std::size_t written = 0;
    ASSERT_TRUE(com5.writeAll(bytes.data(), bytes.size(), &written));
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(readUpTo(com6, bytes.size()), bytes);

    const std::vector<unsigned char> frame = {0xAA, 0x0C, 0x01, 0x64, 0x00, 0xC3};
    ASSERT_TRUE(com6.writeAll(frame.data(), frame.size(), &written));
    EXPECT_EQ(readUpTo(com5, frame.size()), frame);
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
