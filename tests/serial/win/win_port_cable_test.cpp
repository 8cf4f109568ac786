// The Windows port on one end of the Wine session's null-modem cable, beyond what every port promises
// (port_contract_test.cpp): line settings, names from COM10 on, and what only real Windows can show.
// What a quiet open port costs under Wine is measured by bench/win_idle_port_bench.

#include <gtest/gtest.h>

#include <string>

#include "serial/win/serial_port_win_base.h"
#include "win_test_support.h"

namespace {

using wintest::PlainPort;
using wintest::waitUntil;

class WinPortCable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(far_.isOpen()) << "the Wine test session maps " << wintest::kFarPort;
        port_.setReadNotifyDelay(0);
    }

    static void initNear(CSerialPortWinBase& port) {
        port.init(wintest::kNearPort, 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    }
    void openNear() {
        initNear(port_);
        ASSERT_TRUE(port_.open()) << port_.lastStatusMessage();
    }

    PlainPort far_{wintest::kFarPort};
    CSerialPortWinBase port_;
};

// An observer handle on the same device reads back what the port applied. A pseudo-terminal keeps 8
// data bits and no parity whatever it is told, so stop bits and flow control are what it can show.
TEST_F(WinPortCable, LineSettingsReachTheDeviceUnlessTheyDoNotFit) {
    openNear();
    PlainPort observer(wintest::kNearPort, false);
    port_.setStopBits(StopBits::OneAndHalf);  // not with 8 data bits: stored only
    EXPECT_EQ(port_.stopBits(), StopBits::OneAndHalf);
    EXPECT_EQ(observer.lineState().StopBits, ONESTOPBIT);
    port_.setStopBits(StopBits::Two);
    EXPECT_EQ(observer.lineState().StopBits, TWOSTOPBITS);
    port_.setStopBits(StopBits::One);
    port_.setDataBits(5);
    port_.setStopBits(StopBits::Two);  // not with 5 data bits
    EXPECT_EQ(observer.lineState().StopBits, ONESTOPBIT);

    port_.setFlowControl(FlowControl::Hardware);
    EXPECT_EQ(observer.lineState().fOutxCtsFlow, 1u);
    port_.setFlowControl(FlowControl::Software);
    DCB line = observer.lineState();
    EXPECT_EQ(line.fOutxCtsFlow, 0u);
    EXPECT_EQ(line.fOutX + line.fInX, 2u);
    port_.setFlowControl(static_cast<FlowControl>(3));  // stored, changes nothing
    EXPECT_EQ(observer.lineState().fOutX, 1u);
    port_.setFlowControl(FlowControl::None);
    line = observer.lineState();
    EXPECT_EQ(line.fOutxCtsFlow + line.fOutX + line.fInX, 0u);
    port_.setBaudRate(57600);
    EXPECT_EQ(observer.lineState().BaudRate, 57600u);
}

TEST_F(WinPortCable, APortNamedFromCom10OnOpens) {
    PlainPort nearEnd(wintest::kNearPort);
    port_.init(wintest::kHighPort, 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    ASSERT_TRUE(port_.open()) << port_.lastStatusMessage();
    EXPECT_EQ(port_.write("\xAA\x0C\x01\x64\x00\xC3", 6), 6);
    EXPECT_EQ(nearEnd.receive(6), std::string("\xAA\x0C\x01\x64\x00\xC3", 6));
}

TEST_F(WinPortCable, APortHeldOpenElsewhereIsAccessDenied) {
    openNear();
    CSerialPortWinBase second;
    initNear(second);
    const bool opened = second.open();
    if (opened && wintest::underWine()) {
        GTEST_SKIP() << "Wine opens a COM port that is already open a second time (no exclusive access), "
                        "so AccessDenied can only be checked on Windows";
    }
    EXPECT_FALSE(opened);
    EXPECT_EQ(second.lastStatus(), SerialStatus::AccessDenied);
}

TEST_F(WinPortCable, DtrAndRtsReachTheFarEndsModemLines) {
    if (wintest::underWine()) {
        GTEST_SKIP()
            << "Wine cannot set or read modem lines on a pseudo-terminal (EscapeCommFunction fails "
               "with error 50), so DTR and RTS can only be checked on Windows with a null-modem cable";
    }
    openNear();
    port_.setDtr(true);
    port_.setRts(true);
    EXPECT_TRUE(
        waitUntil([&] { return (far_.modemStatus() & (MS_DSR_ON | MS_CTS_ON)) == (MS_DSR_ON | MS_CTS_ON); }));
    port_.setDtr(false);
    port_.setRts(false);
    EXPECT_TRUE(waitUntil([&] { return (far_.modemStatus() & (MS_DSR_ON | MS_CTS_ON)) == 0; }));
}

}  // namespace
