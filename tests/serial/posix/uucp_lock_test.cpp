// The lock-file convention of terminal programs: what counts as a live holder in a directory anyone
// may write to, taking and giving back a lock, and the port holding one on a real device.
#include "serial/posix/uucp_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "serial/posix/serial_port_unix_base.h"
#include "tests/tools/temp_dir.h"

namespace {

using uucp_lock::LockDirectory;
using uucp_lock::Take;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A live process that is not this one: the test's parent (ctest, or the shell). And a pid that names no
// process any more: a child's, once it has been reaped.
const long kLive = static_cast<long>(getppid());
long endedPid() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

std::string pidText(long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// What a lock file left in the directory means: a live holder (its pid), or nothing (stale).
TEST(UucpLock, OnlyASmallPlainFileOfALiveProcessHoldsTheLine) {
    TempDir dir;
    const std::string live = readFile("/proc/" + std::to_string(kLive) + "/comm");
    const std::string lock = dir.path() + "/LCK..ttyUSB0";
    struct Row {
        const char* what;
        std::function<void()> make;
        long holder;
    };
    const std::vector<Row> rows = {
        {"none", [] {}, 0},
        {"a live pid, as the convention writes it", [&] { writeFile(lock, pidText(kLive)); }, kLive},
        {"a live pid, bare", [&] { writeFile(lock, std::to_string(kLive)); }, kLive},
        {"a pid that ended", [&] { writeFile(lock, pidText(endedPid())); }, 0},
        {"this process's own", [&] { writeFile(lock, pidText(getpid())); }, 0},
        {"garbage", [&] { writeFile(lock, "hello\n"); }, 0},
        {"a pid with more after it", [&] { writeFile(lock, pidText(kLive) + "x"); }, 0},
        {"too big", [&] { writeFile(lock, std::string(100, ' ') + std::to_string(kLive)); }, 0},
        {"a link to a live lock",
         [&] {
             writeFile(dir.path() + "/elsewhere", pidText(kLive));
             ASSERT_EQ(symlink((dir.path() + "/elsewhere").c_str(), lock.c_str()), 0);
         },
         0},
        {"a FIFO (never waited on)", [&] { ASSERT_EQ(mkfifo(lock.c_str(), 0644), 0); }, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        unlink(lock.c_str());
        row.make();
        const uucp_lock::Holder holder = LockDirectory(dir.path()).holder("ttyUSB0");
        EXPECT_EQ(holder.pid, row.holder);
        EXPECT_EQ(holder.program + "\n", row.holder != 0 ? live : "\n");
        // A live holder keeps it; anything stale is replaced by this process's lock.
        EXPECT_EQ(LockDirectory(dir.path()).take("ttyUSB0"), row.holder != 0 ? Take::Busy : Take::Taken);
        if (row.holder == 0) {
            EXPECT_EQ(readFile(lock), pidText(getpid()));
        }
    }
    EXPECT_EQ(readFile(dir.path() + "/elsewhere"), pidText(kLive)) << "a link is replaced, not followed";
    LockDirectory(dir.path()).release("ttyUSB0");
    EXPECT_EQ(access(lock.c_str(), F_OK), -1) << "given back";
}

// Anyone may write a lock file naming someone else's live process: such a file does not count. And a
// directory others may write to without the sticky bit is not used at all.
TEST(UucpLock, ForgedLocksAndOpenDirectoriesCountForNothing) {
    TempDir dir;
    const std::string lock = dir.path() + "/LCK..ttyS1";
    writeFile(lock, pidText(kLive));
    if (geteuid() == 0) {
        ASSERT_EQ(chown(lock.c_str(), 4242, 4242), 0);
        EXPECT_EQ(LockDirectory(dir.path()).holder("ttyS1").pid, 0) << "uid 4242 runs no such process";
        ASSERT_EQ(chown(lock.c_str(), 0, 0), 0);
    }
    EXPECT_EQ(LockDirectory(dir.path()).holder("ttyS1").pid, kLive);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    EXPECT_EQ(LockDirectory(dir.path()).holder("ttyS1").pid, 0);
    EXPECT_EQ(LockDirectory(dir.path()).take("ttyS2"), Take::Unavailable);
    ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
    EXPECT_EQ(LockDirectory(dir.path()).holder("ttyS1").pid, kLive);
}

// On a real device the port honours a terminal program's lock and writes its own while it holds the
// line. Needs /dev/ttyS0 and the system's lock directory.
TEST(UucpLock, ThePortHoldsARealDevicesLockWhileOpen) {
    const std::string lock = "/run/lock/LCK..ttyS0";
    if (access("/dev/ttyS0", R_OK | W_OK) != 0 || access("/run/lock", W_OK) != 0 ||
        access(lock.c_str(), F_OK) == 0) {
        GTEST_SKIP() << "needs /dev/ttyS0, a writable /run/lock and no lock on ttyS0";
    }
    CSerialPortUnixBase port;
    port.setPortName("ttyS0");
    writeFile(lock, pidText(kLive));  // a terminal program's
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastStatus(), SerialStatus::AccessDenied);
    unlink(lock.c_str());
    if (!port.open()) {
        GTEST_SKIP() << "ttyS0 does not open here: " << port.lastStatusMessage();
    }
    EXPECT_EQ(readFile(lock), pidText(getpid()));
    port.close();
    EXPECT_EQ(access(lock.c_str(), F_OK), -1);
}

}  // namespace
