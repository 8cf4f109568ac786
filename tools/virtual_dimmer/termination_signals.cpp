#include "tools/virtual_dimmer/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

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
