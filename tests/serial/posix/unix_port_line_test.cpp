#include <termios.h>

#include "serial/posix/terminal_line.h"
#include "slave_line.h"
#include "unix_port_fixture.h"

namespace {

// The kernel's flag for a rate given as a number rather than a constant.
constexpr unsigned int kArbitraryRate = 0010000;

SlaveLine lineOf(const PtyPair& pty) {
    SlaveLine line;
    EXPECT_TRUE(readSlaveLine(pty.slave(), line));
    return line;
}

TEST_F(UnixPortTest, OpenPutsTheLineInRawModeWithTheGivenSettings) {
    // A fresh terminal translates CR/LF, echoes, edits lines and obeys XON/XOFF; none of it may stay.
    ASSERT_TRUE(openPort());
    const SlaveLine line = lineOf(pty);
    EXPECT_EQ(line.iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY | BRKINT | PARMRK), 0u);
    EXPECT_EQ(line.oflag & OPOST, 0u);
    EXPECT_EQ(line.lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.cflag & CSIZE, static_cast<unsigned int>(CS8));
    EXPECT_EQ(line.cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.cflag & (CLOCAL | CREAD), static_cast<unsigned int>(CLOCAL | CREAD));
    EXPECT_EQ(line.outputSpeed, 115200u);
    EXPECT_EQ(line.inputSpeed, 115200u);
    EXPECT_EQ(line.readTime, 0u);

    // Settings made while closed reach the line at the next open, not before.
    port.close();
    port.setParity(Parity::Odd);
    port.setStopBits(StopBits::Two);
    port.setFlowControl(FlowControl::Hardware);
    port.setBaudRate(38400);
    EXPECT_EQ(lineOf(pty).cflag & (PARODD | CSTOPB | CRTSCTS), 0u);
    ASSERT_TRUE(port.open());
    const unsigned int cflag = lineOf(pty).cflag;
    EXPECT_EQ(cflag & (PARODD | CSTOPB | CRTSCTS), static_cast<unsigned int>(PARODD | CSTOPB | CRTSCTS));
    EXPECT_EQ(lineOf(pty).outputSpeed, 38400u);
}

TEST_F(UnixPortTest, AnyBaudRateTheKernelTakesIsSet) {
    port.init(pty.slavePath().c_str(), 250000, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    ASSERT_TRUE(port.open());
    SlaveLine line = lineOf(pty);
    EXPECT_EQ(line.outputSpeed, 250000u);
    EXPECT_EQ(line.inputSpeed, 250000u);

    for (std::int32_t rate : {300, 57600, 921600, 12345}) {
        port.setBaudRate(rate);
        line = lineOf(pty);
        EXPECT_EQ(line.outputSpeed, static_cast<unsigned int>(rate));
        EXPECT_EQ(line.cflag & CBAUD, kArbitraryRate);
        EXPECT_EQ(port.baudRate(), rate);
    }
}

// The two settings a pseudo-terminal cannot show are checked on the flags the port hands over.
TEST(UnixPortLineFlags, ParityAndDataBitsHaveTheirFlags) {
    using namespace terminal_line;
    const unsigned int other = CREAD | CLOCAL | HUPCL;  // flags that must survive every change
    struct ParityCase {
        Parity parity;
        unsigned int flags;
    };
    for (const ParityCase& c :
         {ParityCase{Parity::None, 0}, ParityCase{Parity::Odd, PARENB | PARODD},
          ParityCase{Parity::Even, PARENB}, ParityCase{Parity::Mark, PARENB | PARODD | CMSPAR},
          ParityCase{Parity::Space, PARENB | CMSPAR}}) {
        EXPECT_EQ(withParity(other | PARENB | PARODD | CMSPAR, c.parity), other | c.flags);
        EXPECT_EQ(withParity(other, c.parity), other | c.flags);
    }
    EXPECT_EQ(withParity(other | PARENB, static_cast<Parity>(7)), other | PARENB);

    EXPECT_EQ(withDataBits(other | CS8, 5), other | CS5);
    EXPECT_EQ(withDataBits(other | CS5, 7), other | CS7);
}

// A pseudo-terminal keeps every setting but two: it always reports 8 data bits and no parity
// enable, whatever it is given. The parity's kind (odd, mark, space) it does keep.
TEST_F(UnixPortTest, SettingsOfAnOpenPortReachTheLine) {
    ASSERT_TRUE(openPort());
    struct Case {
        Parity parity;
        unsigned int kind;
    };
    for (const Case& c : {Case{Parity::Odd, PARODD}, Case{Parity::Mark, PARODD | CMSPAR},
                          Case{Parity::Space, CMSPAR}, Case{Parity::Even, 0}, Case{Parity::None, 0}}) {
        port.setParity(c.parity);
        EXPECT_EQ(lineOf(pty).cflag & (PARODD | CMSPAR), c.kind) << static_cast<int>(c.parity);
    }

    port.setStopBits(StopBits::Two);
    EXPECT_NE(lineOf(pty).cflag & CSTOPB, 0u);
    port.setStopBits(StopBits::One);
    EXPECT_EQ(lineOf(pty).cflag & CSTOPB, 0u);

    port.setFlowControl(FlowControl::Hardware);
    EXPECT_NE(lineOf(pty).cflag & CRTSCTS, 0u);
    EXPECT_EQ(lineOf(pty).iflag & (IXON | IXOFF), 0u);
    port.setFlowControl(FlowControl::Software);
    EXPECT_EQ(lineOf(pty).cflag & CRTSCTS, 0u);
    EXPECT_EQ(lineOf(pty).iflag & (IXON | IXOFF), static_cast<unsigned int>(IXON | IXOFF));
    port.setFlowControl(FlowControl::None);
    EXPECT_EQ(lineOf(pty).cflag & CRTSCTS, 0u);
    EXPECT_EQ(lineOf(pty).iflag & (IXON | IXOFF), 0u);
}

TEST_F(UnixPortTest, ImpossibleCombinationsAreStoredButNotApplied) {
    ASSERT_TRUE(openPort());  // 8 data bits, one stop bit

    port.setStopBits(StopBits::OneAndHalf);  // not with 8 data bits
    EXPECT_EQ(port.stopBits(), StopBits::OneAndHalf);
    EXPECT_EQ(lineOf(pty).cflag & CSTOPB, 0u);

    port.setStopBits(StopBits::One);
    port.setDataBits(5);
    port.setStopBits(StopBits::OneAndHalf);  // with 5 data bits: the driver's long stop setting
    EXPECT_NE(lineOf(pty).cflag & CSTOPB, 0u);
    port.setStopBits(StopBits::One);
    port.setStopBits(StopBits::Two);  // not with 5 data bits
    EXPECT_EQ(port.stopBits(), StopBits::Two);
    EXPECT_EQ(lineOf(pty).cflag & CSTOPB, 0u);

    port.setDataBits(8);
    port.setStopBits(StopBits::Two);  // 8 data bits go with two stop bits
    EXPECT_NE(lineOf(pty).cflag & CSTOPB, 0u);
    port.setDataBits(5);  // not with two stop bits: stored only
    EXPECT_EQ(port.dataBits(), 5);

    const SlaveLine before = lineOf(pty);
    port.setFlowControl(static_cast<FlowControl>(3));
    port.setParity(static_cast<Parity>(7));
    port.setDataBits(9);
    port.setStopBits(static_cast<StopBits>(5));
    port.setBaudRate(-1);
    const SlaveLine after = lineOf(pty);
    EXPECT_EQ(port.flowControl(), static_cast<FlowControl>(3));
    EXPECT_EQ(port.parity(), static_cast<Parity>(7));
    EXPECT_EQ(port.dataBits(), 9);
    EXPECT_EQ(port.baudRate(), -1);
    EXPECT_EQ(after.cflag, before.cflag);
    EXPECT_EQ(after.iflag, before.iflag);
    EXPECT_EQ(after.outputSpeed, before.outputSpeed);
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success);
}

TEST_F(UnixPortTest, OpenRefusesALineThatCannotExist) {
    struct Case {
        std::int32_t baud;
        Parity parity;
        std::int32_t dataBits;
        StopBits stopBits;
    };
    for (const Case& c :
         {Case{115200, Parity::None, 9, StopBits::One}, Case{115200, Parity::None, 8, StopBits::OneAndHalf},
          Case{115200, Parity::None, 5, StopBits::Two}, Case{0, Parity::None, 8, StopBits::One},
          Case{115200, static_cast<Parity>(5), 8, StopBits::One}}) {
        port.clearStatus();
        port.init(pty.slavePath().c_str(), c.baud, c.parity, c.dataBits, c.stopBits, FlowControl::None, 4096);
        EXPECT_FALSE(port.open());
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.lastStatus(), SerialStatus::InvalidParam);
    }
    // Refused without holding the device: a valid line opens right after.
    port.init(pty.slavePath().c_str(), 115200, Parity::None, 5, StopBits::OneAndHalf, FlowControl::None,
              4096);
    EXPECT_TRUE(port.open());
    EXPECT_NE(lineOf(pty).cflag & CSTOPB, 0u);
}

TEST_F(UnixPortTest, ReadBufferSizeChangesOnlyWhatAnOpenPortReports) {
    port.setReadBufferSize(1000);
    EXPECT_EQ(port.readBufferSize(), 4096u);
    ASSERT_TRUE(openPort(16));
    port.setReadBufferSize(1000);
    EXPECT_EQ(port.readBufferSize(), 1000u);

    // The ring buffer kept its 16 bytes of capacity.
    pty.send(std::string(40, 'r'));
    ASSERT_TRUE(waitForAvailable(16));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(port.bytesAvailable(), 16);

    port.init("name", 9600, Parity::None, 8, StopBits::One, FlowControl::None, 1000);
    EXPECT_EQ(port.readBufferSize(), 1000u);
    EXPECT_EQ(port.bytesAvailable(), 0);  // a new, empty buffer
    const std::string longName(300, 'n');
    port.setPortName(longName.c_str());
    EXPECT_EQ(std::string(port.portName()), longName.substr(0, 255));
}

}  // namespace
