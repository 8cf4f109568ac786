// The null-modem cable of the Wine test session, natively: what goes into one end comes out of the
// other, unchanged, in both directions, and an end nobody reads does not stall the other direction.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class NullModem : public ::testing::Test {
protected:
    void SetUp() override {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(LUMENTA_NULL_MODEM_PATH, LUMENTA_NULL_MODEM_PATH, static_cast<char*>(nullptr));
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
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the cable ends cleanly on SIGTERM";
        }
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

}  // namespace
