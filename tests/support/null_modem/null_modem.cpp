// lumenta-null-modem: two pseudo-terminals joined like a null-modem cable.
//
// Creates two pseudo-terminal pairs A and B in raw mode, prints the path of slave A on the first line
// and of slave B on the second, and then copies every byte written to slave A out of slave B and the
// other way round, until it gets SIGTERM, SIGINT or SIGHUP, or its parent ends. The harness of the
// Windows tests maps two COM names onto the two slaves, so that a test can talk from one to the other.
//
// Each slave stays open in this process as well, so that a program opening and closing its side never
// hangs the cable up. When nobody reads one side, up to kMaxPending bytes wait for it here; what comes
// beyond that is dropped, as a real line drops what no receiver takes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

namespace {

constexpr std::size_t kMaxPending = 1 << 20;

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

struct PtyEnd {
    int master = -1;
    int slave = -1;
    std::string slavePath;
    std::deque<char> pending;  // bytes on their way to this end's master
    unsigned long long dropped = 0;
};

bool openPty(PtyEnd& end) {
    end.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (end.master < 0 || grantpt(end.master) != 0 || unlockpt(end.master) != 0) {
        return false;
    }
    const char* name = ptsname(end.master);
    if (name == nullptr) {
        return false;
    }
    end.slavePath = name;
    end.slave = open(name, O_RDWR | O_NOCTTY);
    if (end.slave < 0) {
        return false;
    }
    termios settings{};
    if (tcgetattr(end.slave, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    return tcsetattr(end.slave, TCSANOW, &settings) == 0;
}

// Reads what the master of `from` has and queues it for `to`. False when the master is gone.
bool pump(PtyEnd& from, PtyEnd& to) {
    char chunk[4096];
    for (;;) {
        ssize_t got = read(from.master, chunk, sizeof chunk);
        if (got > 0) {
            for (ssize_t i = 0; i < got; ++i) {
                if (to.pending.size() < kMaxPending) {
                    to.pending.push_back(chunk[i]);
                } else {
                    ++to.dropped;
                }
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // EAGAIN: drained. EIO would mean the slave side is gone, which cannot happen while we hold it.
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool flushPending(PtyEnd& end) {
    while (!end.pending.empty()) {
        char chunk[4096];
        std::size_t count = 0;
        for (auto it = end.pending.begin(); it != end.pending.end() && count < sizeof chunk; ++it) {
            chunk[count++] = *it;
        }
        ssize_t put = write(end.master, chunk, count);
        if (put > 0) {
            end.pending.erase(end.pending.begin(), end.pending.begin() + put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        return put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

}  // namespace

int main() {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    PtyEnd a;
    PtyEnd b;
    if (!openPty(a) || !openPty(b)) {
        std::fprintf(stderr, "lumenta-null-modem: cannot create the pseudo-terminals: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n%s\n", a.slavePath.c_str(), b.slavePath.c_str());
    std::fflush(stdout);

    while (!stopRequested) {
        pollfd fds[2] = {{a.master, POLLIN, 0}, {b.master, POLLIN, 0}};
        if (!a.pending.empty()) {
            fds[0].events |= POLLOUT;
        }
        if (!b.pending.empty()) {
            fds[1].events |= POLLOUT;
        }
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        bool ok = true;
        if (fds[0].revents & POLLIN) {
            ok = pump(a, b) && ok;
        }
        if (fds[1].revents & POLLIN) {
            ok = pump(b, a) && ok;
        }
        ok = flushPending(a) && ok;
        ok = flushPending(b) && ok;
        if (!ok) {
            std::fprintf(stderr, "lumenta-null-modem: a pseudo-terminal failed: %s\n", std::strerror(errno));
            return 1;
        }
    }
    if (a.dropped + b.dropped > 0) {
        std::fprintf(stderr, "lumenta-null-modem: dropped %llu bytes nobody read\n", a.dropped + b.dropped);
    }
    return 0;
}
