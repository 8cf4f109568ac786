#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "unix_port_fixture.h"

using namespace std::chrono_literals;

namespace {

// The hold is the advisory lock every process sees (lumenta-send's tests show it across processes).
TEST_F(UnixPortTest, SecondPortOnTheSameDeviceIsRefusedUntilTheFirstCloses) {
    ASSERT_TRUE(openPort());
    CSerialPortUnixBase second;
    second.setPortName(pty.slavePath().c_str());
    EXPECT_FALSE(second.open());
    EXPECT_EQ(second.lastStatus(), SerialStatus::AccessDenied);
    EXPECT_FALSE(second.isOpen());

    port.close();
    EXPECT_TRUE(second.open());
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastStatus(), SerialStatus::AccessDenied);
}

// Names outside the device directories, terminals that are never a serial line, and virtual ports that
// lead out of the device directory or to a pseudo-terminal no live port serves (one of a user's
// terminals, or a link left by a dimmer that was killed) never open.
TEST(UnixPortNames, NamesThatAreNoSerialLineNeverOpen) {
    PrivatePortDir ports;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string slave = ptsname(master);
    ports.publish("killed", slave);
    ports.unpublish("killed");
    ASSERT_EQ(symlink(slave.c_str(), (ports.path() + "/killed").c_str()), 0);  // its lock is free
    ports.publish("passwd", "/etc/passwd");
    ports.publish("gone", "/dev/pts/999999");
    ports.publish("null", "/dev/null");
    const std::pair<std::string, SerialStatus> names[] = {
        {"../../etc/passwd", SerialStatus::InvalidParam},
        {"/etc/passwd", SerialStatus::InvalidParam},
        {"/dev/../etc/passwd", SerialStatus::InvalidParam},
        {"/dev/null", SerialStatus::OpenFailed},  // a device, not a terminal
        // /dev/ptmx would make a new pseudo-terminal.
        {"ptmx", SerialStatus::OpenFailed},
        {"/dev/pts/ptmx", SerialStatus::OpenFailed},
        {"tty", SerialStatus::OpenFailed},
        {"console", SerialStatus::OpenFailed},
        {"/dev", SerialStatus::InvalidParam},
        {"", SerialStatus::InvalidParam},
        {"pts/../../etc/passwd", SerialStatus::InvalidParam},
        {std::string(300, 'a'), SerialStatus::NotFound},  // cut to 255 characters: a name nobody has
        {"ttyLumentaNone", SerialStatus::NotFound},
        {"/dev/ttyLumentaNone", SerialStatus::NotFound},
        {slave, SerialStatus::InvalidParam},
        {"killed", SerialStatus::NotFound},
        {ports.path() + "/killed", SerialStatus::NotFound},
        {"passwd", SerialStatus::InvalidParam},
        {ports.path() + "/passwd", SerialStatus::InvalidParam},
        {ports.path() + "/../passwd", SerialStatus::InvalidParam},
        {"gone", SerialStatus::NotFound},
        {"null", SerialStatus::OpenFailed},
    };
    for (const auto& [name, status] : names) {
        CSerialPortUnixBase port;
        port.setPortName(name.c_str());
        EXPECT_FALSE(port.open()) << name;
        EXPECT_FALSE(port.isOpen()) << name;
        EXPECT_EQ(port.lastStatus(), status) << name;
    }
    ::close(master);
}

TEST(UnixPortNames, VirtualPortsOpenByBareNameAndByPath) {
    PrivatePortDir ports;
    PtyPair pty;
    ports.publish("dimmer-1", pty.slavePath());

    CSerialPortUnixBase byName;
    byName.setPortName("dimmer-1");
    ASSERT_TRUE(byName.open());
    ASSERT_EQ(byName.write("hi", 2), 2);
    EXPECT_EQ(pty.receive(2), "hi");
    byName.close();

    CSerialPortUnixBase byPath;
    byPath.setPortName((ports.path() + "/dimmer-1").c_str());
    EXPECT_TRUE(byPath.open());
}

TEST(UnixPortNames, AFileOutsideTheDeviceDirectoryIsNeverOpened) {
    // A named pipe outside /dev, reached through a virtual port: if the port opened it even for a
    // moment, the reader waiting on the other end would be let through.
    PrivatePortDir ports;
    const std::string fifo = ports.path() + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ports.publish("trap", fifo);

    auto reader = std::async(std::launch::async, [&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        ::close(fd);
    });
    std::this_thread::sleep_for(50ms);  // the reader is waiting for a writer by now
    CSerialPortUnixBase port;
    port.setPortName("trap");
    EXPECT_FALSE(port.open());
    port.setPortName(fifo.c_str());
    EXPECT_FALSE(port.open());
    EXPECT_EQ(reader.wait_for(200ms), std::future_status::timeout) << "the pipe was opened";

    const int unblock = ::open(fifo.c_str(), O_WRONLY);
    ::close(unblock);
    reader.wait();
}

}  // namespace
