// The null-modem cable of the Wine test session, natively: what goes into one end comes out of the
// other, unchanged, in both directions, an end nobody reads does not stall the other direction, and an
// end can be pulled out on order.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class NullModem : public ::testing::Test {
protected:
    void SetUp() override { start({}); }

    void start(std::vector<std::string> args) {
        args.insert(args.begin(), LUMENTA_NULL_MODEM_PATH);
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(&arg[0]);
        }
        argv.push_back(nullptr);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execv(LUMENTA_NULL_MODEM_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE* lines = fdopen(out[0], "r");
        char path[256];
        ASSERT_NE(fgets(path, sizeof path, lines), nullptr);
        pathA_ = trimmed(path);
        ASSERT_NE(fgets(path, sizeof path, lines), nullptr);
        pathB_ = trimmed(path);
        fclose(lines);
        endA_ = openRaw(pathA_);
        endB_ = openRaw(pathB_);
        ASSERT_GE(endA_, 0);
        ASSERT_GE(endB_, 0);
    }

    void TearDown() override {
        if (endA_ >= 0)
            close(endA_);
        if (endB_ >= 0)
            close(endB_);
        endA_ = endB_ = -1;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the cable ends cleanly on SIGTERM";
        }
        pid_ = -1;
    }

    static std::string trimmed(const char* line) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }

    // Opens an end as the Wine side does: a plain open of the slave, raw, 8 bits.
    static int openRaw(const std::string& path) {
        int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
        return fd;
    }

    static void writeAll(int fd, const std::vector<unsigned char>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
            } else {
                pollfd p{fd, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }

    // Everything that arrives within the time, stopping early once `want` bytes are there.
    static std::vector<unsigned char> readFor(int fd, std::size_t want, int milliseconds) {
        std::vector<unsigned char> got;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                unsigned char chunk[4096];
                ssize_t n = read(fd, chunk, sizeof chunk);
                if (n > 0)
                    got.insert(got.end(), chunk, chunk + n);
            }
        }
        return got;
    }

    pid_t pid_ = -1;
    std::string pathA_, pathB_;
    int endA_ = -1, endB_ = -1;
};

std::vector<unsigned char> everyByteValue(std::size_t repeat) {
    std::vector<unsigned char> bytes;
    for (std::size_t r = 0; r < repeat; ++r) {
        for (int v = 0; v < 256; ++v)
            bytes.push_back(static_cast<unsigned char>(v));
    }
    return bytes;
}

TEST_F(NullModem, PrintsTwoDistinctPseudoTerminals) {
    EXPECT_EQ(pathA_.rfind("/dev/pts/", 0), 0u) << pathA_;
    EXPECT_EQ(pathB_.rfind("/dev/pts/", 0), 0u) << pathB_;
    EXPECT_NE(pathA_, pathB_);
}

TEST_F(NullModem, EveryByteValuePassesUnchangedBothWays) {
    // CR, LF, NUL, XON, XOFF and 0xFF are the bytes a cooked terminal would eat or change.
    const auto bytes = everyByteValue(4);
    writeAll(endA_, bytes);
    EXPECT_EQ(readFor(endB_, bytes.size(), 3000), bytes);
    writeAll(endB_, bytes);
    EXPECT_EQ(readFor(endA_, bytes.size(), 3000), bytes);
    EXPECT_TRUE(readFor(endA_, 1, 100).empty()) << "nothing is echoed back";
    EXPECT_TRUE(readFor(endB_, 1, 100).empty()) << "nothing is echoed back";
}

TEST_F(NullModem, AnUnreadEndDoesNotStallTheOtherDirection) {
    // 256 KiB towards B, which nobody reads for now: more than a pseudo-terminal buffers.
    const auto towardsB = everyByteValue(1024);
    writeAll(endA_, towardsB);
    const std::vector<unsigned char> towardsA = {0xAA, 0x05, 0x00, 0x80, 0x00, 0x2F};
    writeAll(endB_, towardsA);
    EXPECT_EQ(readFor(endA_, towardsA.size(), 3000), towardsA);
    EXPECT_EQ(readFor(endB_, towardsB.size(), 10000), towardsB) << "the held bytes arrive late, not lost";
}

TEST_F(NullModem, AnEndSurvivesBeingClosedAndOpenedAgain) {
    close(endB_);
    endB_ = openRaw(pathB_);
    ASSERT_GE(endB_, 0);
    const std::vector<unsigned char> bytes = {1, 2, 3};
    writeAll(endA_, bytes);
    EXPECT_EQ(readFor(endB_, bytes.size(), 3000), bytes);
}

TEST_F(NullModem, AnEndPulledOutHangsUpAndComesBackBehindItsLink) {
    TearDown();
    char dir[] = "/tmp/lumenta-null-modem-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string control = std::string(dir) + "/control";
    const std::string linkA = std::string(dir) + "/a";
    start({"--control", control, linkA, std::string(dir) + "/b"});
    char target[PATH_MAX] = {};
    ASSERT_GT(readlink(linkA.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(target, pathA_);

    const int orders = open(control.c_str(), O_WRONLY);
    ASSERT_GE(orders, 0);
    ASSERT_EQ(write(orders, "hang up A\n", 10), 10);
    close(orders);
    pollfd hungUp{endA_, POLLIN, 0};
    ASSERT_EQ(poll(&hungUp, 1, 3000), 1);
    EXPECT_NE(hungUp.revents & POLLHUP, 0) << "the old end hangs up";

    // The link leads to the new end, which is joined to B.
    const ssize_t length = readlink(linkA.c_str(), target, sizeof target - 1);
    ASSERT_GT(length, 0);
    target[length] = '\0';
    EXPECT_NE(target, pathA_);
    close(endA_);
    endA_ = openRaw(target);
    ASSERT_GE(endA_, 0);
    const std::vector<unsigned char> bytes = {7, 8, 9};
    writeAll(endA_, bytes);
    EXPECT_EQ(readFor(endB_, bytes.size(), 3000), bytes);

    TearDown();
    EXPECT_NE(access(control.c_str(), F_OK), 0) << "the control pipe goes with the cable";
    std::filesystem::remove_all(dir);
}

}  // namespace
