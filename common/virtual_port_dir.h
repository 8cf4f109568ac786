#pragma once

#include <string>
#include <vector>

// Virtual ports (served by the virtual dimmer on a pseudo-terminal) are published on Linux as
// symbolic links NAME -> /dev/pts/N in one per-user directory:
//   $LUMENTA_PORT_DIR when set (tests use it to keep to themselves),
//   else $XDG_RUNTIME_DIR/lumenta/ports,
//   else /tmp/lumenta-UID/ports.
// Beside each link lies its lock file .NAME.lock, which the publisher holds (flock, exclusive) for as
// long as it serves the port. The kernel drops the lock when the publisher ends, however it ends, so
// a link whose lock is free was left by a run that was killed: it is stale, and its pseudo-terminal
// may by now belong to some other program.
std::string virtualPortDirectory();

// A virtual port's name is a plain file name: 1..64 characters of letters, digits, '.', '_' and
// '-', not starting with '.'.
bool isValidVirtualPortName(const std::string& name);

// The name of a port's lock file in the directory: ".NAME.lock".
std::string virtualPortLockName(const std::string& name);

// True when NAME is an entry of the device directory (/dev/ptmx, /dev/null, /dev/tty): a virtual
// port of that name would stand for the device, so none is published or listed under it.
bool shadowsDevice(const std::string& name, const std::string& deviceDir = "/dev");

// The virtual-port directory, open and found private: every use of it after the check goes through
// the open descriptor (openat, readlinkat, symlinkat, unlinkat), never by its path again, so that
// nobody can swap the directory or a step of the way to it once it has been checked.
class PortDirectory {
public:
    // Walks to path from "/" one step at a time without following links. Each step on the way must
    // be a directory owned by root or this user that nobody else can write to, or one with the
    // sticky bit (/tmp); the directory itself must be owned by this user and writable by no one
    // else. With create, missing steps are made with mode 0700.
    // Not open afterwards when the directory is missing (and not created; error stays empty) or
    // when it was refused (error names the directory, what is wrong with it and the fix).
    static PortDirectory open(const std::string& path, bool create, std::string& error);

    PortDirectory() = default;
    ~PortDirectory();
    PortDirectory(PortDirectory&& other) noexcept;
    PortDirectory& operator=(PortDirectory&& other) noexcept;
    PortDirectory(const PortDirectory&) = delete;
    PortDirectory& operator=(const PortDirectory&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    // A live port: a symbolic link of this user, with a valid name, whose lock a publisher holds.
    // Looking takes the lock shared for an instant when it is free.
    bool isLive(const std::string& name) const;
    // The target of a live port's link, or empty when the port is not live.
    std::string liveTarget(const std::string& name) const;
    // Every live port, in directory order.
    std::vector<std::string> livePortNames() const;

private:
    PortDirectory(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_ = -1;
    std::string path_;
};

// Why the virtual ports of dir are not listed: empty when the directory is fine or simply missing,
// else the refusal with its fix (for messages of the command-line tools).
std::string virtualPortDirectoryProblem(const std::string& dir);
