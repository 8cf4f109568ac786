#include "pty_line.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

// Made on first use, removed at exit.
class BenchPortDir {
public:
    BenchPortDir() {
        char pattern[] = "/tmp/lumenta-bench-ports-XXXXXX";
        path_ = mkdtemp(pattern) != nullptr ? pattern : "";
        setenv("LUMENTA_PORT_DIR", path_.c_str(), 1);
    }
    ~BenchPortDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

PtyLine::PtyLine() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return;
    }
    slavePath_ = ptsname(master_);
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    static const BenchPortDir ports;
    std::string error;
    published_ = PublishedPort::publish(
        ports.path(), "pts-" + std::filesystem::path(slavePath_).filename().string(), slavePath_, error);
}

PtyLine::~PtyLine() {
    if (master_ >= 0) {
        ::close(master_);
    }
}

SenderProcess::SenderProcess(int master, std::size_t total) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(pipeFds[1]);
        char go = 0;
        if (::read(pipeFds[0], &go, 1) != 1) {
            _exit(2);
        }
        std::vector<char> chunk(1 << 16);
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = static_cast<char>(i * 31 + 7);
        }
        std::size_t left = total;
        while (left > 0) {
            const std::size_t size = left < chunk.size() ? left : chunk.size();
            const ssize_t n = ::write(master, chunk.data(), size);
            if (n > 0) {
                left -= static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                _exit(1);
            }
        }
        _exit(0);
    }
    ::close(pipeFds[0]);
    go_ = pipeFds[1];
}

SenderProcess::~SenderProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        finish();
    }
    if (go_ >= 0) {
        ::close(go_);
    }
}

void SenderProcess::start() {
    const char go = 1;
    [[maybe_unused]] const ssize_t sent = ::write(go_, &go, 1);
}

bool SenderProcess::finish() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
