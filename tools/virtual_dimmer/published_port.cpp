#include "tools/virtual_dimmer/published_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/virtual_port_dir.h"

namespace {

std::string describe(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// mkdir -p with mode 0700 for what we create.
bool makeDirectories(const std::string& path, std::string& error) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = describe("cannot create " + part);
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

// The directory must be a real directory of ours that nobody else can write to: others must not be
// able to plant links in the list of ports we publish into.
bool isPrivateDirectory(const std::string& path, std::string& error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        error = describe("cannot look at " + path);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = path + " is not a directory of this user that only this user can write to";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<PublishedPort> PublishedPort::publish(const std::string& directory, const std::string& name,
                                                      const std::string& target, std::string& error) {
    if (!isValidVirtualPortName(name)) {
        error = "'" + name + "' is not a valid port name (letters, digits, '.', '_', '-'; at most 64)";
        return nullptr;
    }
    if (!makeDirectories(directory, error) || !isPrivateDirectory(directory, error)) {
        return nullptr;
    }
    const std::string linkPath = directory + "/" + name;
    const std::string lockPath = directory + "/." + name + ".lock";

    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        error = describe("cannot open " + lockPath);
        return nullptr;
    }
    if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "the port " + name + " is already served by another virtual dimmer"
                                     : describe("cannot lock " + lockPath);
        ::close(lockFd);
        return nullptr;
    }

    // The lock is ours, so whatever stands at the link's place was left by a run that was killed.
    bool replacedStale = false;
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = linkPath + " exists and is not a symbolic link; not touching it";
            ::close(lockFd);
            return nullptr;
        }
        if (unlink(linkPath.c_str()) != 0) {
            error = describe("cannot remove the stale link " + linkPath);
            ::close(lockFd);
            return nullptr;
        }
        replacedStale = true;
    }
    if (symlink(target.c_str(), linkPath.c_str()) != 0) {
        error = describe("cannot create " + linkPath);
        ::close(lockFd);
        return nullptr;
    }
    return std::unique_ptr<PublishedPort>(new PublishedPort(name, linkPath, lockFd, replacedStale));
}

PublishedPort::PublishedPort(std::string name, std::string linkPath, int lockFd, bool replacedStale)
    : name_(std::move(name)),
      linkPath_(std::move(linkPath)),
      lockFd_(lockFd),
      replacedStale_(replacedStale) {}

PublishedPort::~PublishedPort() {
    // Unlink while still holding the lock, so that a new run cannot publish in between and lose its link.
    // The lock file stays: removing it would let two runs lock two different files of the same name.
    unlink(linkPath_.c_str());
    ::close(lockFd_);
}
