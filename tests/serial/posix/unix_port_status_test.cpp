#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <future>

#include "unix_port_fixture.h"

extern char** environ;

using namespace std::chrono_literals;

namespace {

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

// Runs the holder program on a port; its standard input keeps it holding until released.
class PortHolder {
public:
    explicit PortHolder(const std::string& port) {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        std::string program = LUMENTA_PORT_HOLDER_PATH;
        std::string name = port;
        char* argv[] = {program.data(), name.data(), nullptr};
        spawned_ = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        release_ = toChild[1];
        output_ = fdopen(fromChild[0], "r");
    }
    ~PortHolder() { release(); }

    // The first line the holder printed: "held" or "failed CODE".
    std::string firstLine() {
        char line[64] = {};
        if (output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr) {
            return "";
        }
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

    void release() {
        if (release_ >= 0) {
            ::close(release_);
            release_ = -1;
        }
        if (spawned_) {
            int status = 0;
            waitpid(pid_, &status, 0);
            spawned_ = false;
        }
        if (output_ != nullptr) {
            std::fclose(output_);
            output_ = nullptr;
        }
    }

private:
    pid_t pid_ = 0;
    bool spawned_ = false;
    int release_ = -1;
    FILE* output_ = nullptr;
};

TEST_F(UnixPortTest, PortHeldByAnotherProcessIsRefused) {
    PortHolder holder(pty.slavePath());
    ASSERT_EQ(holder.firstLine(), "held");
    EXPECT_FALSE(openPort());
    EXPECT_EQ(port.lastStatus(), SerialStatus::AccessDenied);

    holder.release();
    EXPECT_TRUE(port.open());
}

TEST_F(UnixPortTest, AnotherProcessIsRefusedWhileThisOneHoldsThePort) {
    ASSERT_TRUE(openPort());
    PortHolder holder(pty.slavePath());
    EXPECT_EQ(holder.firstLine(), "failed " + std::to_string(static_cast<int>(SerialStatus::AccessDenied)));
}

struct RefusedName {
    std::string name;
    SerialStatus status;
};

TEST(UnixPortNames, NamesOutsideTheDeviceDirectoriesNeverOpen) {
    PrivatePortDir ports;
    const std::vector<RefusedName> names = {
        {"../../etc/passwd", SerialStatus::InvalidParam},
        {"/etc/passwd", SerialStatus::InvalidParam},
        {"/dev/../etc/passwd", SerialStatus::InvalidParam},
        {"/dev/null", SerialStatus::OpenFailed},  // a device, not a terminal
        // Terminals that are never a serial line; /dev/ptmx would make a new pseudo-terminal.
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
    };
    for (const auto& entry : names) {
        CSerialPortUnixBase port;
        port.setPortName(entry.name.c_str());
        EXPECT_FALSE(port.open()) << entry.name;
        EXPECT_FALSE(port.isOpen()) << entry.name;
        EXPECT_EQ(port.lastStatus(), entry.status) << entry.name;
    }
}

// A pseudo-terminal opens only as a live virtual port's target: one of no port may belong to a user's
// terminal, or to a link left by a dimmer that was killed.
TEST(UnixPortNames, APseudoTerminalThatNoLivePortServesNeverOpens) {
    PrivatePortDir ports;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string slave = ptsname(master);
    ports.publish("killed", slave);
    ports.unpublish("killed");
    ASSERT_EQ(symlink(slave.c_str(), (ports.path() + "/killed").c_str()), 0);  // its lock is free
    const std::vector<RefusedName> names = {
        {slave, SerialStatus::InvalidParam},
        {"killed", SerialStatus::NotFound},
        {ports.path() + "/killed", SerialStatus::NotFound},
    };
    for (const auto& entry : names) {
        CSerialPortUnixBase port;
        port.setPortName(entry.name.c_str());
        EXPECT_FALSE(port.open()) << entry.name;
        EXPECT_EQ(port.lastStatus(), entry.status) << entry.name;
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

TEST(UnixPortNames, VirtualPortsLeadingOutOfTheDeviceDirectoryAreRefused) {
    PrivatePortDir ports;
    ports.publish("passwd", "/etc/passwd");
    ports.publish("gone", "/dev/pts/999999");
    ports.publish("null", "/dev/null");

    const std::vector<RefusedName> names = {
        {"passwd", SerialStatus::InvalidParam},
        {ports.path() + "/passwd", SerialStatus::InvalidParam},
        {ports.path() + "/../passwd", SerialStatus::InvalidParam},
        {"gone", SerialStatus::NotFound},  // left behind by a dimmer that was killed
        {"null", SerialStatus::OpenFailed},
    };
    for (const auto& entry : names) {
        CSerialPortUnixBase port;
        port.setPortName(entry.name.c_str());
        EXPECT_FALSE(port.open()) << entry.name;
        EXPECT_EQ(port.lastStatus(), entry.status) << entry.name;
    }
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
