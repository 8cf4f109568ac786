#include "common/published_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace {

std::string describe(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A reader that looks whether the port is live takes the lock shared for an instant; a publisher
// that comes at that instant tries again for a while before it calls the name taken.
bool lockExclusively(int fd) {
    for (int attempt = 0;; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if (attempt == 20) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string readLink(int dir, const std::string& name) {
    char target[4096];
    const ssize_t size = readlinkat(dir, name.c_str(), target, sizeof target);
    return size > 0 && static_cast<std::size_t>(size) < sizeof target
               ? std::string(target, static_cast<std::size_t>(size))
               : std::string();
}

}  // namespace

std::unique_ptr<PublishedPort> PublishedPort::publish(const std::string& directory, const std::string& name,
                                                      const std::string& target, std::string& error) {
    if (!isValidVirtualPortName(name)) {
        error = "'" + name + "' is not a valid port name (letters, digits, '.', '_', '-'; at most 64)";
        return nullptr;
    }
    PortDirectory dir = PortDirectory::open(directory, true, error);
    if (!dir.isOpen()) {
        if (error.empty()) {
            error = "cannot open " + directory;
        }
        return nullptr;
    }
    const std::string lockName = virtualPortLockName(name);
    const std::string lockPath = directory + "/" + lockName;
    const int lockFd = openat(dir.fd(), lockName.c_str(),
                              O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        error = describe("cannot open " + lockPath);
        return nullptr;
    }
    struct stat lockInfo {};
    if (fstat(lockFd, &lockInfo) != 0 || !S_ISREG(lockInfo.st_mode) || lockInfo.st_uid != geteuid()) {
        error = lockPath + " is not a plain file of yours; not touching it";
        ::close(lockFd);
        return nullptr;
    }
    if (!lockExclusively(lockFd)) {
        error = errno == EWOULDBLOCK ? "the port " + name + " is already served by another virtual dimmer"
                                     : describe("cannot lock " + lockPath);
        ::close(lockFd);
        return nullptr;
    }

    // The lock is ours, so whatever stands at the link's place was left by a run that was killed.
    const std::string linkPath = directory + "/" + name;
    bool replacedStale = false;
    struct stat existing {};
    if (fstatat(dir.fd(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = linkPath + " exists and is not a symbolic link; not touching it";
            ::close(lockFd);
            return nullptr;
        }
        if (unlinkat(dir.fd(), name.c_str(), 0) != 0) {
            error = describe("cannot remove the stale link " + linkPath);
            ::close(lockFd);
            return nullptr;
        }
        replacedStale = true;
    }
    if (symlinkat(target.c_str(), dir.fd(), name.c_str()) != 0) {
        error = describe("cannot create " + linkPath);
        ::close(lockFd);
        return nullptr;
    }
    return std::unique_ptr<PublishedPort>(
        new PublishedPort(std::move(dir), name, target, lockFd, replacedStale));
}

PublishedPort::PublishedPort(PortDirectory directory, std::string name, std::string target, int lockFd,
                             bool replacedStale)
    : directory_(std::move(directory)),
      name_(std::move(name)),
      target_(std::move(target)),
      linkPath_(directory_.path() + "/" + name_),
      lockFd_(lockFd),
      replacedStale_(replacedStale) {}

PublishedPort::~PublishedPort() {
    // Unlink while still holding the lock, so that a new run cannot publish in between and lose its link.
    // The lock file stays: removing it would let two runs lock two different files of the same name.
    if (readLink(directory_.fd(), name_) == target_) {
        unlinkat(directory_.fd(), name_.c_str(), 0);
    }
    ::close(lockFd_);
}
