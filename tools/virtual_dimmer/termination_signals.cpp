#include "tools/virtual_dimmer/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include "common/held_back_signal.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

int writeFd = -1;
volatile std::sig_atomic_t lastSignal = 0;
struct sigaction previous[3];

void onSignal(int number) {
    lastSignal = number;
    const char byte = 1;
    // Nothing to do on failure: a full pipe is already readable.
    [[maybe_unused]] const ssize_t ignored = ::write(writeFd, &byte, 1);
}

}  // namespace

TerminationSignals::TerminationSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd = fds[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        sigaction(kSignals[i], &action, &previous[i]);
    }
}

TerminationSignals::~TerminationSignals() {
    if (readFd_ < 0) {
        return;
    }
    if (holding_) {
        pthread_sigmask(SIG_SETMASK, &outsideWait_, nullptr);
    }
    for (int i = 0; i < 3; ++i) {
        sigaction(kSignals[i], &previous[i], nullptr);
    }
    ::close(readFd_);
    ::close(writeFd);
    writeFd = -1;
}

int TerminationSignals::received() const {
    return lastSignal;
}

int TerminationSignals::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (readFd_ >= 0 && !holding_) {
        sigemptyset(&held_);
        for (int number : kSignals) {
            sigaddset(&held_, number);
        }
        pthread_sigmask(SIG_BLOCK, &held_, &outsideWait_);
        duringWait_ = outsideWait_;
        for (int number : kSignals) {
            sigdelset(&duringWait_, number);
        }
        holding_ = true;
    }
    if (!holding_) {
        return ::poll(fds, count, timeoutMs);
    }
    timespec limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const int ready = ppoll(fds, count, timeoutMs < 0 ? nullptr : &limit, &duringWait_);
    if (const int number = takeHeldBackSignal(held_)) {
        onSignal(number);
    }
    return ready;
}
