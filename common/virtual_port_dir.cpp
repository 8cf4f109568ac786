#include "common/virtual_port_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr const char* kElsewhere =
    "point LUMENTA_PORT_DIR at a directory of your own that only you can write to (mkdir -m 700 DIR).";
const std::string kFix = std::string(" Remove it, or ") + kElsewhere;

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// What makes a directory unfit to hold our ports or to lead to them; empty when it is fit.
std::string problemWith(const struct stat& info, bool isTheDirectory) {
    const uid_t me = geteuid();
    if (!S_ISDIR(info.st_mode)) {
        return " is not a directory." + kFix;
    }
    const bool oursOrRoot = info.st_uid == me || (!isTheDirectory && info.st_uid == 0);
    if (!oursOrRoot) {
        return " belongs to another user (uid " + std::to_string(info.st_uid) +
               "), who could plant or remove virtual ports in it. Have it removed (it is not yours), or " +
               kElsewhere;
    }
    const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && (isTheDirectory || (info.st_mode & S_ISVTX) == 0)) {
        return " can be written by other users (mode " + modeText(info.st_mode) +
               "), who could plant or remove virtual ports in it. Make it private (chmod 700), or " +
               kElsewhere;
    }
    return "";
}

// Opens one step below dir without following a link; explains a refusal.
int openStep(int dir, const std::string& name, bool last, const std::string& walked, bool create,
             bool& missing, std::string& error) {
    const int flags = (last ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(dir, name.c_str(), flags);
    if (fd < 0 && errno == ENOENT && create) {
        if (mkdirat(dir, name.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + walked + ": " + std::strerror(errno);
            return -1;
        }
        fd = openat(dir, name.c_str(), flags);
    }
    if (fd >= 0) {
        return fd;
    }
    const int reason = errno;
    struct stat info {};
    if (reason == ENOENT) {
        missing = true;
    } else if (fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        error = walked + " is a symbolic link; virtual ports are kept only in a real directory." + kFix;
    } else if (reason == ENOTDIR) {
        error = walked + " is not a directory." + kFix;
    } else {
        error = "cannot open " + walked + ": " + std::strerror(reason);
    }
    return -1;
}

bool isLockHeld(int dir, const std::string& name) {
    const int lock = openat(dir, virtualPortLockName(name).c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (lock < 0) {
        return false;
    }
    struct stat info {};
    const bool held = fstat(lock, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
                      flock(lock, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(lock);  // drops the shared lock too, when it was free and so taken
    return held;
}

}  // namespace

std::string virtualPortDirectory() {
    if (const char* forced = std::getenv("LUMENTA_PORT_DIR"); forced != nullptr && *forced != '\0') {
        return forced;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
        return std::string(runtime) + "/lumenta/ports";
    }
    return "/tmp/lumenta-" + std::to_string(getuid()) + "/ports";
}

bool isValidVirtualPortName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '_' || c == '-';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string virtualPortLockName(const std::string& name) {
    return "." + name + ".lock";
}

bool shadowsDevice(const std::string& name, const std::string& deviceDir) {
    struct stat info {};
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
           lstat((deviceDir + "/" + name).c_str(), &info) == 0;
}

PortDirectory PortDirectory::open(const std::string& path, bool create, std::string& error) {
    error.clear();
    if (path.empty() || path[0] != '/') {
        error =
            "the virtual-port directory '" + path + "' is not an absolute path; set LUMENTA_PORT_DIR to one.";
        return {};
    }
    std::vector<std::string> steps;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string step = path.substr(at, end - at);
        if (step == "." || step == "..") {
            error = "the virtual-port directory '" + path + "' has '.' or '..' in it; give it plainly.";
            return {};
        }
        if (!step.empty()) {
            steps.push_back(step);
        }
        at = end + 1;
    }
    if (steps.empty()) {
        error = "'/' cannot be the virtual-port directory; " + std::string(kElsewhere);
        return {};
    }
    int current = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (current < 0) {
        error = std::string("cannot open /: ") + std::strerror(errno);
        return {};
    }
    std::string walked;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const bool last = i + 1 == steps.size();
        walked += "/" + steps[i];
        bool missing = false;
        const int next = openStep(current, steps[i], last, walked, create, missing, error);
        ::close(current);
        if (next < 0) {
            return {};  // a missing directory leaves error empty: nothing is published there
        }
        current = next;
        struct stat info {};
        if (fstat(current, &info) != 0) {
            error = "cannot look at " + walked + ": " + std::strerror(errno);
            ::close(current);
            return {};
        }
        if (const std::string problem = problemWith(info, last); !problem.empty()) {
            error = walked + problem;
            ::close(current);
            return {};
        }
    }
    return PortDirectory(current, path);
}

PortDirectory::~PortDirectory() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

PortDirectory::PortDirectory(PortDirectory&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

PortDirectory& PortDirectory::operator=(PortDirectory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool PortDirectory::isLive(const std::string& name) const {
    if (fd_ < 0 || !isValidVirtualPortName(name)) {
        return false;
    }
    struct stat link {};
    return fstatat(fd_, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode) &&
           link.st_uid == geteuid() && isLockHeld(fd_, name);
}

std::string PortDirectory::liveTarget(const std::string& name) const {
    if (!isLive(name)) {
        return "";
    }
    char target[4096];
    const ssize_t size = readlinkat(fd_, name.c_str(), target, sizeof target);
    return size > 0 && static_cast<std::size_t>(size) < sizeof target
               ? std::string(target, static_cast<std::size_t>(size))
               : std::string();
}

std::vector<std::string> PortDirectory::livePortNames() const {
    std::vector<std::string> names;
    const int listing = fd_ >= 0 ? openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
    if (entries == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return names;
    }
    while (const dirent* entry = readdir(entries)) {
        if (isLive(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(entries);
    return names;
}

std::string virtualPortDirectoryProblem(const std::string& dir) {
    std::string error;
    PortDirectory::open(dir, false, error);
    return error.empty() ? "" : "virtual ports are not listed: " + error;
}
