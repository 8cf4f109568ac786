// lumenta-bridge.exe under Wine, on the test session's null-modem cable: datagrams sent with Winsock to
// a loopback address reach the bridge on COM5, and its frames arrive on COM6. Run under wine-session
// (make test-windows); elsewhere the tests are skipped.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/raw_com_port.h"
#include "tests/tools/bridge/dmx_packets.h"

namespace {

using dmx_packets::Bytes;

// The program's path as Wine sees it: the Unix path on drive Z:.
std::string bridgeProgram() {
    std::string path = std::string("Z:") + LUMENTA_BRIDGE_EXE;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

std::string loopbackAddress(unsigned last) {
    const DWORD pid = GetCurrentProcessId();
    return "127." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(pid & 0xFF) + "." +
           std::to_string(last);
}

sockaddr_in endpoint(const std::string& address, unsigned short port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &in.sin_addr);
    return in;
}

std::string frame(unsigned channel, unsigned mode, unsigned level) {
    const unsigned char bytes[6] = {0xAA,
                                    static_cast<unsigned char>(channel),
                                    static_cast<unsigned char>(mode),
                                    static_cast<unsigned char>(level),
                                    0,
                                    static_cast<unsigned char>(0xAA ^ channel ^ mode ^ level)};
    return std::string(reinterpret_cast<const char*>(bytes), 6);
}

class LumentaBridgeUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("LUMENTA_WINE_SESSION") == nullptr) {
            GTEST_SKIP() << "needs the Wine test session (its COM5-COM6 cable)";
        }
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_TRUE(far_.isOpen());
        // The console's socket, on the Art-Net port, for the ArtPollReply. Wine sends a loopback
        // socket's datagrams from 127.0.0.1 whatever address it is bound to, so the reply goes there.
        console_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        const BOOL on = TRUE;
        setsockopt(console_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
        const sockaddr_in local = endpoint("127.0.0.1", 6454);
        ASSERT_EQ(bind(console_, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0)
            << WSAGetLastError();
        const DWORD waitMs = 200;
        setsockopt(console_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&waitMs), sizeof waitMs);
    }
    void TearDown() override {
        if (bridge_.hProcess != nullptr) {
            TerminateProcess(bridge_.hProcess, 0);
            WaitForSingleObject(bridge_.hProcess, 10000);
            CloseHandle(bridge_.hThread);
            CloseHandle(bridge_.hProcess);
        }
        if (console_ != INVALID_SOCKET) {
            closesocket(console_);
        }
        WSACleanup();
    }

    // Starts the bridge and waits until it answers ArtPoll, which it does once it is at work.
    bool startBridge(const std::string& options) {
        std::string line =
            "\"" + bridgeProgram() + "\" --port COM5 --bind " + bridgeAddress_ + " --quiet " + options;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &bridge_)) {
            return false;
        }
        // Until it listens, a poll may come back as "connection reset": wait a little and ask again.
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
            send(dmx_packets::artPoll(), 6454);
            char reply[512];
            const int got = recv(console_, reply, sizeof reply, 0);
            if (got == 239) {
                return true;
            }
            if (got < 0) {
                Sleep(100);
            }
        }
        return false;
    }

    // The next frames that change a level, up to count within the time: the bridge's refresh, which
    // repeats a channel's level, is left out.
    std::string changes(std::size_t count, DWORD limitMs) {
        std::string got;
        for (const DWORD start = GetTickCount();
             got.size() < 6 * count && GetTickCount() - start < limitMs;) {
            const std::string f = far_.receive(6, limitMs - (GetTickCount() - start));
            if (f.size() == 6 && (level_.count(f[1]) == 0 || level_[f[1]] != f[3])) {
                for (char c = f[1] == 0 ? 0 : f[1]; c <= (f[1] == 0 ? 24 : f[1]); ++c) {
                    level_[c] = f[3];
                }
                got += f;
            }
        }
        return got;
    }

    void send(const Bytes& bytes, unsigned short port) {
        const sockaddr_in to = endpoint(bridgeAddress_, port);
        sendto(console_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    RawComPort far_{"COM6", 50, 2000};
    SOCKET console_ = INVALID_SOCKET;
    std::string bridgeAddress_ = loopbackAddress(200);
    PROCESS_INFORMATION bridge_{};
    std::map<char, char> level_;  // the level last seen on a channel
};

TEST_F(LumentaBridgeUnderWine, ArtNetAndSacnReachTheDimmerOnTheNamedPort) {
    ASSERT_TRUE(startBridge("--mode L --address 3")) << bridgeProgram();
    EXPECT_EQ(far_.receive(1, 200), "") << "nothing goes out before a console sends";

    send(dmx_packets::artDmx(0, Bytes(30, 77)), 6454);
    EXPECT_EQ(changes(2, 2000), frame(0, 1, 77)) << "all 24 at one level: one frame for channel 0";

    for (const auto& bad : dmx_packets::badPackets()) {
        send(bad.bytes, bad.sacn ? 5568 : 6454);
    }
    EXPECT_EQ(changes(1, 300), "") << "bad packets change nothing";

    // sACN at a priority above Art-Net's takes over: slots 3..26 drive channels 1..24.
    dmx_packets::Sacn sacn;
    sacn.priority = 150;
    Bytes levels;
    for (unsigned c = 1; c <= 24; ++c) {
        levels.push_back(static_cast<std::uint8_t>(c * 10));
    }
    sacn.slots = dmx_packets::slotsAt(3, levels);
    send(dmx_packets::sacn(sacn), 5568);
    std::string expected;
    for (unsigned c = 1; c <= 24; ++c) {
        expected += frame(c, 1, c * 10);
    }
    EXPECT_EQ(changes(24, 2000), expected);
    EXPECT_EQ(changes(1, 300), "") << "each channel once";
}

}  // namespace
