#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The port directory of a test process that set none: made on first use, removed at exit.
std::string testPortDirectory() {
    if (const char* set = std::getenv("LUMENTA_PORT_DIR"); set != nullptr && *set != '\0') {
        return set;
    }
    static const PrivatePortDir dir;
    return dir.path();
}

}  // namespace

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    slavePath_ = ptsname(master_);
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        throw std::runtime_error("cannot open " + slavePath_);
    }
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    std::string error;
    published_ = PublishedPort::publish(testPortDirectory(),
                                        "pts-" + fs::path(slavePath_).filename().string(), slavePath_, error);
    if (!published_) {
        throw std::runtime_error("cannot publish " + slavePath_ + ": " + error);
    }
}

PtyPair::~PtyPair() {
    closeSlave();
    closeMaster();
}

void PtyPair::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PtyPair::closeSlave() {
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
}

void PtyPair::send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) {
            throw std::runtime_error("write to the master failed");
        }
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

std::string PtyPair::receive(std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    const auto end = Clock::now() + limit;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        pollfd watch{master_, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

PrivatePortDir::PrivatePortDir() {
    std::string pattern = (fs::temp_directory_path() / "lumenta-ports-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no temporary directory");
    }
    path_ = pattern;
    if (const char* old = std::getenv("LUMENTA_PORT_DIR")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("LUMENTA_PORT_DIR", path_.c_str(), 1);
}

PrivatePortDir::~PrivatePortDir() {
    published_.clear();
    if (hadPrevious_) {
        setenv("LUMENTA_PORT_DIR", previous_.c_str(), 1);
    } else {
        unsetenv("LUMENTA_PORT_DIR");
    }
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void PrivatePortDir::publish(const std::string& name, const std::string& target) {
    std::string error;
    auto port = PublishedPort::publish(path_, name, target, error);
    if (!port) {
        throw std::runtime_error("cannot publish " + name + ": " + error);
    }
    published_[name] = std::move(port);
}

void PrivatePortDir::unpublish(const std::string& name) {
    published_.erase(name);
}
