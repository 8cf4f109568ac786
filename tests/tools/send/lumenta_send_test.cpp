// lumenta-send as a program, against the virtual dimmer: what reaches the dimmer, the line it is sent
// on, and for every failure its exit code, its message and that not one byte reached the dimmer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <sys/file.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/posix/slave_line.h"
#include "tests/tools/other_user.h"
#include "tests/tools/send/send_process.h"
#include "tests/tools/temp_dir.h"
#include "tools/virtual_dimmer/dimmer_options.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"

namespace {

const std::string kSend = LUMENTA_SEND_EXE;

std::string hex(const DimmerFrame& frame) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : frame) {
        text += text.empty() ? "" : " ";
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// A port of uid's, live, as that user's dimmer would keep it: the link and its lock file, which this
// object holds locked.
class LivePortOf {
public:
    LivePortOf(uid_t uid, const std::string& dir, const std::string& name, const std::string& target) {
        const std::string link = dir + "/" + name;
        const std::string lock = dir + "/." + name + ".lock";
        EXPECT_EQ(symlink(target.c_str(), link.c_str()), 0);
        EXPECT_EQ(lchown(link.c_str(), uid, uid), 0);
        lock_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        EXPECT_EQ(fchown(lock_, uid, uid), 0);
        EXPECT_EQ(flock(lock_, LOCK_EX | LOCK_NB), 0);
    }
    ~LivePortOf() { ::close(lock_); }

private:
    int lock_ = -1;
};

// A terminal such as a user has open: cooked mode, echo, a line typed ahead and not yet read.
class Terminal {
public:
    Terminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        slavePath_ = ptsname(master_);
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        tcgetattr(slave_, &mode_);
        const char typed[] = "ls\n";
        [[maybe_unused]] const ssize_t written = ::write(master_, typed, 3);
        // What the terminal echoes goes to its screen: read it off, so that only later bytes count.
        pollfd echo{master_, POLLIN, 0};
        char screen[64];
        while (poll(&echo, 1, 100) > 0 && ::read(master_, screen, sizeof screen) > 0) {
        }
    }
    ~Terminal() {
        ::close(slave_);
        ::close(master_);
    }
    bool isOpen() const { return slave_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }

    // Nothing was written to it, its mode is as it was, its typed-ahead line still waits.
    void expectUntouched() const {
        pollfd watched{master_, POLLIN, 0};
        EXPECT_EQ(poll(&watched, 1, 100), 0) << "bytes reached the terminal";
        termios now{};
        ASSERT_EQ(tcgetattr(slave_, &now), 0);
        EXPECT_EQ(now.c_lflag, mode_.c_lflag);
        EXPECT_EQ(now.c_iflag, mode_.c_iflag);
        EXPECT_EQ(now.c_oflag, mode_.c_oflag);
        EXPECT_EQ(now.c_cflag, mode_.c_cflag);
        EXPECT_EQ(cfgetospeed(&now), cfgetospeed(&mode_));
        char line[16] = {};
        EXPECT_EQ(::read(slave_, line, sizeof line), 3);
        EXPECT_STREQ(line, "ls\n");
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    termios mode_{};
};

// A virtual dimmer published in a port directory of the test's own, which lumenta-send is pointed at.
class LumentaSend : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        // Open to all, so that a run under another account reaches port directories of its own in it.
        ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
        setenv("LUMENTA_PORT_DIR", dir_.path().c_str(), 1);
        dimmer_ = start("vdimmer0");
        ASSERT_TRUE(dimmer_);
    }
    void TearDown() override { unsetenv("LUMENTA_PORT_DIR"); }

    std::unique_ptr<VirtualDimmer> start(const std::string& name) {
        std::string error;
        auto dimmer = VirtualDimmer::start(dir_.path(), name, error);
        EXPECT_TRUE(dimmer) << error;
        return dimmer;
    }

    ProcessResult send(const std::vector<std::string>& args) {
        return runProcess(kSend, args, {"LUMENTA_PORT_DIR=" + dir_.path()});
    }

    // Reads what has reached the dimmer within the time: every byte, good frames or not.
    std::uint64_t bytesReceived(int waitMs = 100) {
        pollfd watched{dimmer_->masterFd(), POLLIN, 0};
        while (poll(&watched, 1, waitMs) > 0 && dimmer_->readAvailable()) {
        }
        return dimmer_->acceptedFrames() * kDimmerFrameSize + dimmer_->rejectedBytes();
    }

    void expectFailure(const ProcessResult& run, int code, const std::string& inMessage) {
        EXPECT_EQ(run.exitCode, code) << run.err;
        EXPECT_NE(run.err.find(inMessage), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(bytesReceived(), 0u) << "nothing may be sent on an error";
    }

    TempDir dir_;
    std::unique_ptr<VirtualDimmer> dimmer_;
};

TEST_F(LumentaSend, SendsExactlyOneFrameForAChannelAndForAll) {
    ProcessResult run = send({"--port", "vdimmer0", "--channel", "5", "--level", "128"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.empty() && run.err.empty()) << run.out << run.err;
    ASSERT_EQ(bytesReceived(), 6u);
    EXPECT_EQ(hex(dimmer_->lastFrame()), "AA 05 00 80 00 2F");

    run = send({"--port=vdimmer0", "--all", "--level=255", "--mode=L"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(bytesReceived(), 12u);
    EXPECT_EQ(hex(dimmer_->lastFrame()), "AA 00 01 FF 00 54");
    EXPECT_EQ(dimmer_->channels().channel(24).level, 255);
}

TEST_F(LumentaSend, SetsTheLineUpAsThePanelDoes) {
    // Start from a line that differs in every setting: 9600 baud, 7E2, hardware flow control.
    termios line{};
    ASSERT_EQ(tcgetattr(dimmer_->masterFd(), &line), 0);
    cfsetispeed(&line, B9600);
    cfsetospeed(&line, B9600);
    line.c_cflag = (line.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    line.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(dimmer_->masterFd(), TCSANOW, &line), 0);

    ProcessResult run = send({"--port", "vdimmer0", "--channel", "12", "--level", "100", "--mode", "L"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The pseudo-terminal's settings, as its master side reports them (any baud rate shows as it is).
    SlaveLine now;
    ASSERT_TRUE(readSlaveLine(dimmer_->masterFd(), now));
    EXPECT_EQ(now.outputSpeed, 115200u);
    EXPECT_EQ(now.inputSpeed, 115200u);
    EXPECT_EQ(now.cflag & CSIZE, static_cast<unsigned>(CS8));
    EXPECT_EQ(now.cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(now.iflag & (IXON | IXOFF), 0u);
    ASSERT_EQ(bytesReceived(), 6u);
    EXPECT_EQ(hex(dimmer_->lastFrame()), "AA 0C 01 64 00 C3");
}

TEST_F(LumentaSend, ListsThePortsThePanelWouldListInItsOrder) {
    auto second = start("bench1");
    ASSERT_TRUE(second);
    ProcessResult run = send({"--list"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> listed = lines(run.out);
    std::vector<std::string> sorted = listed;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(listed, sorted);
    // Each line: the name, then in a column of its own what the device is.
    const auto dimmerLine = [&](const std::string& name) {
        return std::any_of(listed.begin(), listed.end(), [&](const std::string& line) {
            return line.rfind(name + "  ", 0) == 0 && line.size() > 16 &&
                   line.compare(line.size() - 16, 16, "  virtual dimmer") == 0;
        });
    };
    EXPECT_TRUE(dimmerLine("bench1") && dimmerLine("vdimmer0")) << run.out;

    second.reset();  // its port goes, and so does its line
    EXPECT_EQ(lines(send({"--list"}).out).size(), listed.size() - 1);
}

TEST_F(LumentaSend, BadValuesAreUsageErrors) {
    expectFailure(send({"--port", "vdimmer0", "--channel", "25", "--level", "1"}), 2, "--channel");
    expectFailure(send({"--port", "vdimmer0", "--all", "--level", "256"}), 2, "--level");
    expectFailure(send({"--port", "vdimmer0", "--all", "--level", "1", "--mode", "M"}), 2, "--mode");
    expectFailure(send({"--port", "vdimmer0", "--all"}), 2, "--level");
    expectFailure(send({"--port", "vdimmer0", "--all", "--level", "9", "--baud", "9600"}), 2, "--baud");
    expectFailure(send({}), 2, "--help");
}

TEST_F(LumentaSend, UnknownPortsAreRefusedBeforeAnythingIsOpened) {
    expectFailure(send({"--port", "nosuch", "--all", "--level", "1"}), 3, "unknown port 'nosuch'");
    // A terminal that is no serial port is never opened, even by its full path.
    expectFailure(send({"--port", "/dev/tty", "--all", "--level", "1"}), 3, "unknown port");
    expectFailure(send({"--port", "ptmx", "--all", "--level", "1"}), 3, "unknown port 'ptmx'");
    expectFailure(send({"--port", dimmer_->ptyPath(), "--all", "--level", "1"}), 3, "unknown port");
    // A port whose dimmer has gone is not listed any more.
    auto gone = start("gone0");
    ASSERT_TRUE(gone);
    gone.reset();
    expectFailure(send({"--port", "gone0", "--all", "--level", "1"}), 3, "unknown port 'gone0'");
}

TEST_F(LumentaSend, APortHeldByAnotherProgramIsBusy) {
    CSerialPortUnixBase holder;
    holder.init("vdimmer0", 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
    ASSERT_TRUE(holder.open()) << holder.lastStatusMessage();
    // Named by its pid: this test's process holds it.
    expectFailure(send({"--port", "vdimmer0", "--channel", "1", "--level", "1"}), 4,
                  "in use by another program (pid " + std::to_string(getpid()) + ", ");
    holder.close();
    EXPECT_EQ(send({"--port", "vdimmer0", "--channel", "1", "--level", "1"}).exitCode, 0);
    EXPECT_EQ(bytesReceived(), 6u);
}

TEST_F(LumentaSend, APermissionRefusalExplainsTheGroup) {
    ProcessResult run;
    if (geteuid() == 0) {
        if (!other_user::available()) {
            GTEST_SKIP() << "needs setpriv to act as another user";
        }
        // Root opens anything: run as a user in no group, whose own live port leads to root's terminal.
        const uid_t user = other_user::victim();
        const std::string ports = dir_.path() + "/user";
        ASSERT_TRUE(other_user::makeDirectoryOf(user, ports));
        const LivePortOf port(user, ports, "vdimmer0", dimmer_->ptyPath());
        run = runProcess(
            "env",
            other_user::commandAs(user, kSend, {"--port", "vdimmer0", "--channel", "3", "--level", "7"}),
            {"LUMENTA_PORT_DIR=" + ports});
    } else {
        ASSERT_EQ(chmod(dimmer_->ptyPath().c_str(), 0), 0);
        run = send({"--port", "vdimmer0", "--channel", "3", "--level", "7"});
    }
    expectFailure(run, 5, "permission denied");
    EXPECT_NE(run.err.find("belongs to the group"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("dialout"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(dimmer_->ptyPath()), std::string::npos) << run.err;
}

TEST_F(LumentaSend, AListedPortThatIsNoTerminalDoesNotOpen) {
    std::string error;
    const auto port = PublishedPort::publish(dir_.path(), "notatty", "/dev/null", error);
    ASSERT_TRUE(port) << error;
    ASSERT_NE(send({"--list"}).out.find("notatty"), std::string::npos);
    expectFailure(send({"--port", "notatty", "--all", "--level", "1"}), 7,
                  "does not lead to a serial device");
}

// A dimmer killed with SIGKILL leaves its link, and its lock free; its pseudo-terminal's number goes
// to the user's next terminal, here one in its usual cooked mode with a line typed ahead. The link is
// neither listed nor followed: the terminal gets no bytes, keeps its mode and its input.
TEST_F(LumentaSend, AStaleLinkIsNeverFollowedIntoTheTerminalThatGotItsNumber) {
    const Terminal terminal;
    ASSERT_TRUE(terminal.isOpen());
    {
        std::string error;
        ASSERT_TRUE(PublishedPort::publish(dir_.path(), "old0", terminal.slavePath(), error)) << error;
    }
    ASSERT_EQ(symlink(terminal.slavePath().c_str(), (dir_.path() + "/old0").c_str()), 0);

    EXPECT_EQ(send({"--list"}).out.find("old0"), std::string::npos);
    expectFailure(send({"--port", "old0", "--all", "--level", "1"}), 3, "unknown port 'old0'");
    expectFailure(send({"--port", "old0", "--all", "--level", "1"}), 3,
                  "left by a dimmer that no longer runs");
    expectFailure(send({"--port", terminal.slavePath(), "--all", "--level", "1"}), 3, "unknown port");
    for (const std::string& name : {std::string("old0"), terminal.slavePath()}) {
        CSerialPortUnixBase port;
        port.setPortName(name.c_str());
        EXPECT_FALSE(port.open()) << name;
    }
    terminal.expectUntouched();
}

// Another user made the victim's fallback directory first and put a port in it, live, that leads to
// a terminal the victim may open. The victim's lumenta-send lists nothing from there, opens nothing,
// and says why.
TEST_F(LumentaSend, PortsInADirectoryAnotherUserMadeAreNeitherListedNorOpened) {
    if (!other_user::available()) {
        GTEST_SKIP() << "needs root and setpriv to act as two users";
    }
    const uid_t victim = other_user::victim();
    const uid_t attacker = other_user::attacker();
    const std::string fallback = "/tmp/lumenta-" + std::to_string(victim);
    std::filesystem::remove_all(fallback);
    ASSERT_TRUE(other_user::makeDirectoryOf(attacker, fallback, 0755));
    ASSERT_TRUE(other_user::makeDirectoryOf(attacker, fallback + "/ports", 0755));
    const Terminal terminal;
    ASSERT_EQ(chown(terminal.slavePath().c_str(), victim, victim), 0);
    {
        const LivePortOf planted(attacker, fallback + "/ports", "vdimmer", terminal.slavePath());
        const std::vector<std::string> unset = {"XDG_RUNTIME_DIR", "LUMENTA_PORT_DIR"};
        const ProcessResult list = runProcess("env", other_user::commandAs(victim, kSend, {"--list"}, unset));
        const ProcessResult run = runProcess(
            "env",
            other_user::commandAs(victim, kSend, {"--port", "vdimmer", "--all", "--level", "1"}, unset));
        std::filesystem::remove_all(fallback);
        EXPECT_EQ(list.exitCode, 0) << list.err;
        EXPECT_EQ(list.out.find("vdimmer"), std::string::npos) << list.out;
        EXPECT_NE(list.err.find("virtual ports are not listed: " + fallback + " belongs to another user"),
                  std::string::npos)
            << list.err;
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_NE(run.err.find("unknown port 'vdimmer'"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(fallback + " belongs to another user"), std::string::npos) << run.err;
    }
    terminal.expectUntouched();
}

TEST(LumentaSendText, HelpAndManPageDocumentEveryOptionAndExitCode) {
    ProcessResult help = runProcess(kSend, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    std::ifstream manFile(LUMENTA_SEND_MAN_PAGE);
    ASSERT_TRUE(manFile);
    std::string man((std::istreambuf_iterator<char>(manFile)), std::istreambuf_iterator<char>());
    // troff writes a hyphen as \-
    for (std::size_t at; (at = man.find("\\-")) != std::string::npos;) {
        man.erase(at, 1);
    }
    for (const char* option :
         {"--port", "--channel", "--all", "--level", "--mode", "--list", "--help", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
        EXPECT_NE(man.find(option), std::string::npos) << option;
    }
    for (const char* code : {"0", "2", "3", "4", "5", "6", "7"}) {
        EXPECT_NE(help.out.find(std::string("\n  ") + code + "  "), std::string::npos) << code;
        EXPECT_NE(man.find(std::string(".B ") + code + "\n"), std::string::npos) << code;
    }
    EXPECT_NE(man.find("dialout"), std::string::npos);
    // A failed write may have sent part of the frame: both say so.
    const std::string partly = "part of the frame may have left the port";
    EXPECT_NE(help.out.find(partly, help.out.find("\n  6  ")), std::string::npos) << help.out;
    EXPECT_NE(man.find(partly, man.find(".B 6\n")), std::string::npos);
    // The virtual dimmer's port is named as the dimmer names it by default.
    const std::string dimmer = DimmerOptions().portName;
    for (std::size_t at = 0; (at = man.find("vdimmer", at)) != std::string::npos; ++at) {
        const char after = at + dimmer.size() < man.size() ? man[at + dimmer.size()] : ' ';
        EXPECT_TRUE(man.compare(at, dimmer.size(), dimmer) == 0 &&
                    !std::isalnum(static_cast<unsigned char>(after)))
            << man.substr(at, 20);
    }

    ProcessResult version = runProcess(kSend, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("lumenta-send ", 0), 0u) << version.out;
}

}  // namespace
