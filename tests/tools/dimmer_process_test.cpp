// The terminal front end as a program: what it prints on start, and that it removes its port when
// it is told to end.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "tests/tools/temp_dir.h"

extern char** environ;

namespace {

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// One run of lumenta-virtual-dimmer with its ports in a directory of the test's own.
class DimmerProcess {
public:
    DimmerProcess(const std::string& portDir, const std::string& name) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        setenv("LUMENTA_PORT_DIR", portDir.c_str(), 1);
        std::string exe = LUMENTA_VIRTUAL_DIMMER_EXE;
        std::string nameCopy = name;
        char* argv[] = {exe.data(),
                        const_cast<char*>("--print-port"),
                        const_cast<char*>("--quiet"),
                        const_cast<char*>("--name"),
                        nameCopy.data(),
                        nullptr};
        if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    ~DimmerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    // The key=value lines printed on start, once the link= line (the last) has come.
    std::map<std::string, std::string> startLines() {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (text.find("link=") == std::string::npos || text.back() != '\n') {
            pollfd watched{out_, POLLIN, 0};
            if (std::chrono::steady_clock::now() > deadline || poll(&watched, 1, 100) < 0) {
                break;
            }
            char chunk[256];
            const ssize_t got = watched.revents != 0 ? read(out_, chunk, sizeof chunk) : 0;
            if (got < 0 || (got == 0 && watched.revents != 0)) {
                break;
            }
            text.append(chunk, static_cast<std::size_t>(got));
        }
        std::map<std::string, std::string> lines;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            if (const std::size_t eq = line.find('='); eq != std::string::npos) {
                lines[line.substr(0, eq)] = line.substr(eq + 1);
            }
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }

    // Exit status after the signal, or -1 when it did not end within two seconds.
    int endWith(int signal) {
        kill(pid_, signal);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

TEST(DimmerProcess, PrintsItsPortAndRemovesItOnSigtermAndSigint) {
    for (int signal : {SIGTERM, SIGINT}) {
        TempDir dir;
        DimmerProcess dimmer(dir.path(), "bench7");
        auto lines = dimmer.startLines();
        ASSERT_EQ(lines["port"], "bench7");
        ASSERT_EQ(lines["link"], dir.path() + "/bench7");
        EXPECT_EQ(lines["pty"].rfind("/dev/pts/", 0), 0u) << lines["pty"];
        ASSERT_TRUE(exists(lines["link"]));

        EXPECT_EQ(dimmer.endWith(signal), 0) << strsignal(signal);
        EXPECT_FALSE(exists(lines["link"])) << strsignal(signal);
    }
}

TEST(DimmerProcess, ANewRunCleansUpAfterAKilledOne) {
    TempDir dir;
    std::string link;
    {
        DimmerProcess killed(dir.path(), "dimmer0");
        link = killed.startLines()["link"];
        ASSERT_FALSE(link.empty());
        EXPECT_EQ(killed.endWith(SIGKILL), 128 + SIGKILL);
        ASSERT_TRUE(exists(link));  // left behind, pointing to a pseudo-terminal that is gone
    }
    DimmerProcess next(dir.path(), "dimmer0");
    auto lines = next.startLines();
    ASSERT_EQ(lines["link"], link);
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(lines["pty"], target);
    struct stat info {};
    EXPECT_EQ(stat(link.c_str(), &info), 0) << "the new link leads to a live pseudo-terminal";
    EXPECT_EQ(next.endWith(SIGTERM), 0);
}

}  // namespace
