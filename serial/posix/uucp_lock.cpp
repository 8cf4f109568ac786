#include "serial/posix/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace uucp_lock {

namespace {

constexpr std::size_t kMostLockBytes = 64;  // "%10d\n" is 11; generous for other writers' spacing

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string lockName(const std::string& deviceName) {
    return "LCK.." + deviceName;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The directory, opened and checked; -1 when it cannot be trusted or is not there.
int openDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || (info.st_uid != 0 && info.st_uid != geteuid()) ||
        ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

// Ten ASCII characters and a newline by the convention; spaces around the digits are taken too.
long parsePid(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    long pid = 0;
    std::size_t digits = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0; ++at, ++digits) {
        pid = pid * 10 + (text[at] - '0');
        if (digits >= 10) {
            return 0;
        }
    }
    while (at < text.size() && (text[at] == ' ' || text[at] == '\n')) {
        ++at;
    }
    return digits > 0 && at == text.size() && pid > 0 && pid <= 0x3FFFFFFF ? pid : 0;
}

// The pid a lock file holds and the file's owner; 0 for anything that is no small plain file of
// digits (a link, a device, a FIFO, garbage).
long readLock(int dir, const std::string& name, uid_t& owner) {
    const Fd file(openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > static_cast<off_t>(kMostLockBytes)) {
        return 0;
    }
    char text[kMostLockBytes + 1];
    const ssize_t got = ::read(file.get(), text, kMostLockBytes);
    if (got <= 0) {
        return 0;
    }
    owner = info.st_uid;
    return parsePid(std::string(text, static_cast<std::size_t>(got)));
}

std::string procText(long pid, const char* entry) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + entry);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// True when the process runs with uid as its real, effective or saved user (as far as /proc tells).
bool processRunsAs(long pid, uid_t uid) {
    std::istringstream status(procText(pid, "status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream ids(line.substr(4));
            for (unsigned long id = 0; ids >> id;) {
                if (id == uid) {
                    return true;
                }
            }
            return false;
        }
    }
    return true;  // no /proc to ask: take the file's word
}

std::string programName(long pid) {
    std::string name;
    for (char c : procText(pid, "comm")) {
        if (c == '\n' || name.size() >= 16) {
            break;
        }
        name += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
    }
    return name;
}

// The live holder of the lock file name in dir: not this process (a lock it left is stale), and a
// file of that process's user or of root (anyone can write a file naming someone else's process).
Holder liveHolder(int dir, const std::string& name) {
    uid_t owner = 0;
    const long pid = readLock(dir, name, owner);
    if (pid == 0 || pid == static_cast<long>(getpid())) {
        return {};
    }
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return {};
    }
    if (owner != 0 && !processRunsAs(pid, owner)) {
        return {};
    }
    return {pid, programName(pid)};
}

std::mutex g_heldMutex;
std::map<int, std::string> g_held;  // descriptor -> device name whose lock it took

}  // namespace

LockDirectory::LockDirectory(std::string path) : path_(std::move(path)) {}

LockDirectory LockDirectory::system() {
    return LockDirectory("/run/lock");
}

Holder LockDirectory::holder(const std::string& deviceName) const {
    const Fd dir(openDirectory(path_));
    return dir.get() < 0 ? Holder{} : liveHolder(dir.get(), lockName(deviceName));
}

Take LockDirectory::take(const std::string& deviceName) const {
    const Fd dir(openDirectory(path_));
    if (dir.get() < 0) {
        return Take::Unavailable;
    }
    const std::string name = lockName(deviceName);
    // Written whole under a name of this process's own, then put in place at once.
    const std::string temporary = "LTMP." + std::to_string(getpid()) + "." + deviceName;
    unlinkat(dir.get(), temporary.c_str(), 0);
    {
        const Fd file(
            openat(dir.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
        if (file.get() < 0 || fchmod(file.get(), 0644) != 0 || ::write(file.get(), text, length) != length) {
            unlinkat(dir.get(), temporary.c_str(), 0);
            return Take::Unavailable;
        }
    }
    Take result = Take::Taken;
    if (linkat(dir.get(), temporary.c_str(), dir.get(), name.c_str(), 0) != 0) {
        if (errno != EEXIST) {
            result = Take::Unavailable;
        } else if (liveHolder(dir.get(), name).pid != 0) {
            result = Take::Busy;
        } else if (renameat(dir.get(), temporary.c_str(), dir.get(), name.c_str()) == 0) {
            return Take::Taken;  // the stale lock is replaced; the temporary name is gone with it
        } else {
            result = Take::Unavailable;  // another user's stale file, which the sticky bit keeps
        }
    }
    unlinkat(dir.get(), temporary.c_str(), 0);
    return result;
}

void LockDirectory::release(const std::string& deviceName) const {
    const Fd dir(openDirectory(path_));
    uid_t owner = 0;
    const std::string name = lockName(deviceName);
    if (dir.get() >= 0 && readLock(dir.get(), name, owner) == static_cast<long>(getpid()) &&
        owner == geteuid()) {
        unlinkat(dir.get(), name.c_str(), 0);
    }
}

bool holdFor(int fd, const std::string& devicePath) {
    const std::string device = baseName(devicePath);
    const Take taken = LockDirectory::system().take(device);
    if (taken == Take::Taken) {
        const std::lock_guard<std::mutex> hold(g_heldMutex);
        g_held[fd] = device;
    }
    return taken != Take::Busy;
}

void releaseFor(int fd) {
    std::string device;
    {
        const std::lock_guard<std::mutex> hold(g_heldMutex);
        const auto held = g_held.find(fd);
        if (held == g_held.end()) {
            return;
        }
        device = held->second;
        g_held.erase(held);
    }
    LockDirectory::system().release(device);
}

Holder holderOf(const std::string& devicePath) {
    return LockDirectory::system().holder(baseName(devicePath));
}

}  // namespace uucp_lock
