// lumenta-send as a program, against the virtual dimmer: what reaches the dimmer, the line it is sent
// on, and for every failure its exit code, its message and that not one byte reached the dimmer.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/posix/slave_line.h"
#include "tests/tools/send/send_process.h"
#include "tests/tools/temp_dir.h"
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

// A virtual dimmer published in a port directory of the test's own, which lumenta-send is pointed at.
class LumentaSend : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        // Readable for all, so that a run under another account can list the ports.
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
    const auto bench = std::find(listed.begin(), listed.end(), "bench1");
    const auto vdimmer = std::find(listed.begin(), listed.end(), "vdimmer0");
    EXPECT_TRUE(bench != listed.end() && vdimmer != listed.end()) << run.out;

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
    expectFailure(send({"--port", "vdimmer0", "--channel", "1", "--level", "1"}), 4,
                  "in use by another program");
    holder.close();
    EXPECT_EQ(send({"--port", "vdimmer0", "--channel", "1", "--level", "1"}).exitCode, 0);
    EXPECT_EQ(bytesReceived(), 6u);
}

TEST_F(LumentaSend, APermissionRefusalExplainsTheGroup) {
    ProcessResult run;
    if (geteuid() == 0) {
        // Root opens anything: run as nobody, in no group.
        run = runProcess("setpriv",
                         {"--reuid=65534", "--regid=65534", "--clear-groups", "--", kSend, "--port",
                          "vdimmer0", "--channel", "3", "--level", "7"},
                         {"LUMENTA_PORT_DIR=" + dir_.path()});
        if (run.exitCode == 126 || run.exitCode == 127) {
            GTEST_SKIP() << "nobody cannot run " << kSend << ": " << run.err;
        }
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
    ASSERT_EQ(symlink("/dev/null", (dir_.path() + "/notatty").c_str()), 0);
    ASSERT_NE(send({"--list"}).out.find("notatty"), std::string::npos);
    expectFailure(send({"--port", "notatty", "--all", "--level", "1"}), 7, "could not be opened");
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

    ProcessResult version = runProcess(kSend, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("lumenta-send ", 0), 0u) << version.out;
}

}  // namespace
