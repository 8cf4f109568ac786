// The Windows port without a device behind it: names that do not open, and a closed port's answers.

#include <gtest/gtest.h>

#include <string>

#include "serial/win/serial_port_win_base.h"

namespace {

TEST(WinPortClosed, ANameThatOpensNothingFailsAndLeavesThePortClosed) {
    CSerialPortWinBase port;
    port.init("COM77", 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastStatus(), SerialStatus::NotFound);
    EXPECT_FALSE(port.isOpen());
    port.clearStatus();
    EXPECT_STREQ(port.lastStatusMessage(), "success");

    // The longest name the port keeps still goes whole into the device path.
    const std::string longest(255, 'C');
    port.setPortName((longest + "cut").c_str());
    EXPECT_EQ(port.portName(), longest);
    EXPECT_FALSE(port.open());
    EXPECT_NE(port.lastStatus(), SerialStatus::Success);
    EXPECT_FALSE(port.isOpen());
}

TEST(WinPortClosed, IoOnAClosedPortIsRefusedAsNotOpen) {
    CSerialPortWinBase port;
    char buffer[8] = {};
    EXPECT_EQ(port.write("\xAA\x01\x00\xFF\x00\x54", 6), -1);
    EXPECT_EQ(port.lastStatus(), SerialStatus::NotOpen);
    for (auto io :
         {&CSerialPortWinBase::read, &CSerialPortWinBase::readDevice, &CSerialPortWinBase::readLine}) {
        port.clearStatus();
        EXPECT_EQ((port.*io)(buffer, 8), -1);
        EXPECT_EQ(port.lastStatus(), SerialStatus::NotOpen);
    }
    // Asking for nothing is no failure; nor are the queries and a second close.
    port.clearStatus();
    EXPECT_EQ(port.read(buffer, 0), 0);
    EXPECT_EQ(port.readAll(buffer), 0);
    EXPECT_FALSE(port.flush());
    EXPECT_FALSE(port.purgeInput());
    port.setDtr(true);
    port.close();
    port.close();
    port.setIoMode(IoMode::Synchronous);
    EXPECT_EQ(port.bytesAvailable(), 0);
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success);
}

}  // namespace
