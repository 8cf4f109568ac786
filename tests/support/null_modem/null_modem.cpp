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
//
//   lumenta-null-modem --control FIFO LINK_A LINK_B
// also keeps symbolic links LINK_A and LINK_B to the two slaves, and takes orders from the named pipe
// FIFO (made here, removed at the end), one a line: "hang up A" (or B) pulls that end out as an
// unplugged adapter would be: the end gets a new pseudo-terminal, its link is pointed there, and then
// the old one is closed, so that whoever still has it open sees it hang up. Bytes waiting for that end
// go to the new one.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
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

// Points link at target, replacing whatever it was in one step.
bool relink(const std::string& link, const std::string& target) {
    const std::string fresh = link + ".new";
    unlink(fresh.c_str());
    return symlink(target.c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), link.c_str()) == 0;
}

// Pulls the end out: a new pseudo-terminal behind its link first, then the old one closed.
bool hangUp(PtyEnd& end, const std::string& link) {
    PtyEnd fresh;
    if (!openPty(fresh) || !relink(link, fresh.slavePath)) {
        return false;
    }
    close(end.master);
    close(end.slave);
    end.master = fresh.master;
    end.slave = fresh.slave;
    end.slavePath = fresh.slavePath;
    return true;
}

struct Control {
    int fd = -1;
    std::string path;
    std::string links[2];
    std::string line;  // an order not yet complete
};

// Carries out the orders that have come in whole. False when one could not be carried out.
bool obey(Control& control, PtyEnd* ends[2]) {
    char chunk[256];
    ssize_t got;
    while ((got = read(control.fd, chunk, sizeof chunk)) > 0) {
        control.line.append(chunk, static_cast<std::size_t>(got));
    }
    std::size_t newline;
    while ((newline = control.line.find('\n')) != std::string::npos) {
        const std::string order = control.line.substr(0, newline);
        control.line.erase(0, newline + 1);
        for (int i = 0; i < 2; ++i) {
            if (order == std::string("hang up ") + static_cast<char>('A' + i) &&
                !hangUp(*ends[i], control.links[i])) {
                return false;
            }
        }
    }
    return true;
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

int main(int argc, char** argv) {
    Control control;
    if (argc == 5 && std::string(argv[1]) == "--control") {
        control.path = argv[2];
        control.links[0] = argv[3];
        control.links[1] = argv[4];
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: lumenta-null-modem [--control FIFO LINK_A LINK_B]\n");
        return 2;
    }
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
    if (!control.path.empty()) {
        // Opened for reading and writing, so that it never reads as ended between two writers.
        unlink(control.path.c_str());
        if (mkfifo(control.path.c_str(), 0600) != 0 ||
            (control.fd = open(control.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0 ||
            !relink(control.links[0], a.slavePath) || !relink(control.links[1], b.slavePath)) {
            std::fprintf(stderr, "lumenta-null-modem: cannot set up %s: %s\n", control.path.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n%s\n", a.slavePath.c_str(), b.slavePath.c_str());
    std::fflush(stdout);

    PtyEnd* ends[2] = {&a, &b};
    while (!stopRequested) {
        pollfd fds[3] = {{a.master, POLLIN, 0}, {b.master, POLLIN, 0}, {control.fd, POLLIN, 0}};
        if (!a.pending.empty()) {
            fds[0].events |= POLLOUT;
        }
        if (!b.pending.empty()) {
            fds[1].events |= POLLOUT;
        }
        if (poll(fds, control.fd >= 0 ? 3 : 2, -1) < 0) {
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
        if (control.fd >= 0 && (fds[2].revents & POLLIN)) {
            ok = obey(control, ends) && ok;
        }
        ok = flushPending(a) && ok;
        ok = flushPending(b) && ok;
        if (!ok) {
            std::fprintf(stderr, "lumenta-null-modem: a pseudo-terminal failed: %s\n", std::strerror(errno));
            return 1;
        }
    }
    if (!control.path.empty()) {
        unlink(control.path.c_str());
    }
    if (a.dropped + b.dropped > 0) {
        std::fprintf(stderr, "lumenta-null-modem: dropped %llu bytes nobody read\n", a.dropped + b.dropped);
    }
    return 0;
}
