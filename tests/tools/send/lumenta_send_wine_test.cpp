// lumenta-send.exe under Wine, on the test session's null-modem cable: what it sends on COM5 arrives
// on COM6, and on every error nothing does. Run under wine-session (make test-windows); elsewhere
// the tests are skipped. A port held by another program cannot be shown here: Wine lets a second
// program open a COM port.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/raw_com_port.h"

namespace {

// The program's path as Wine sees it: the Unix path on drive Z:.
std::string sendProgram() {
    std::string path = std::string("Z:") + LUMENTA_SEND_EXE;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

int runSend(const std::string& arguments) {
    std::string line = "\"" + sendProgram() + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    DWORD code = 255;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 255);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

class LumentaSendUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("LUMENTA_WINE_SESSION") == nullptr) {
            GTEST_SKIP() << "needs the Wine test session (its COM5-COM6 cable)";
        }
        ASSERT_NE(GetFileAttributesA(sendProgram().c_str()), INVALID_FILE_ATTRIBUTES) << sendProgram();
        ASSERT_TRUE(far_.isOpen());
    }
    // The far end of the cable, read with plain Win32 calls.
    RawComPort far_{"COM6", 50, 2000};
};

TEST_F(LumentaSendUnderWine, SendsOneFrameOnTheNamedPort) {
    ASSERT_EQ(runSend("--port COM5 --channel 5 --level 128"), 0);
    EXPECT_EQ(far_.receive(12, 2000), std::string("\xAA\x05\x00\x80\x00\x2F", 6));
    ASSERT_EQ(runSend("--port=com5 --all --level=255 --mode=L"), 0) << "COM names in any case";
    EXPECT_EQ(far_.receive(12, 2000), std::string("\xAA\x00\x01\xFF\x00\x54", 6));
}

TEST_F(LumentaSendUnderWine, EachErrorHasItsCodeAndSendsNothing) {
    EXPECT_EQ(runSend("--port COM5 --channel 25 --level 1"), 2);
    EXPECT_EQ(runSend("--port COM5 --all"), 2);
    EXPECT_EQ(runSend("--port COM99 --all --level 1"), 3);
    EXPECT_EQ(runSend("--port NUL --all --level 1"), 3);
    // COM8 is listed but leads nowhere, as a dimmer's name does once the dimmer has gone: no serial
    // device answers behind it. (COM7 is the virtual dimmer's while its own test runs.)
    EXPECT_EQ(runSend("--port COM8 --all --level 1"), 3);
    EXPECT_EQ(far_.receive(1, 300), "");
}

}  // namespace
