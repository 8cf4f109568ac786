#pragma once

#include <string>

// The lock files that terminal programs (minicom, picocom, Qt's serial port, cu) use to keep each
// other off a serial line: LCK..NAME in the lock directory, NAME the device's file name, holding the
// holder's pid as ten ASCII characters and a newline. The directory is writable by every user, so a
// lock file is untrusted input: it is opened without following a link, must be a small plain file
// that holds nothing but a pid, and counts only while that process lives and the file belongs to the
// process's user or to root. Anything else is stale and ignored.
namespace uucp_lock {

struct Holder {
    long pid = 0;         // 0: nobody holds it
    std::string program;  // its name as the kernel has it (/proc/PID/comm), may be empty
};

enum class Take {
    Taken,        // the lock file holds this process's pid
    Busy,         // a live process holds it
    Unavailable,  // no lock could be written (no usable directory, a stale file of another user)
};

// A lock directory, checked when opened: it must belong to root or to this user, and be writable by
// others only with the sticky bit (as /run/lock is, mode 1777). An unusable one holds nothing.
class LockDirectory {
public:
    explicit LockDirectory(std::string path);
    // /run/lock (on Debian /var/lock leads there).
    static LockDirectory system();

    Holder holder(const std::string& deviceName) const;
    // Writes this process's lock for the device, replacing a stale one.
    Take take(const std::string& deviceName) const;
    // Removes the device's lock when it still holds this process's pid.
    void release(const std::string& deviceName) const;

private:
    std::string path_;
};

// For the port's device calls (device_io): the lock of the real device a descriptor holds, taken after
// the open and given back before the close. holdFor is false only when a live process holds the lock.
bool holdFor(int fd, const std::string& devicePath);
void releaseFor(int fd);

// The live holder of a device's lock in the system's lock directory, by the device's path.
Holder holderOf(const std::string& devicePath);

}  // namespace uucp_lock
