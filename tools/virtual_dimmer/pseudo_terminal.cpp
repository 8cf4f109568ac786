#include "tools/virtual_dimmer/pseudo_terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

std::string describe(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::open(std::string& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = describe("cannot open a pseudo-terminal");
        return nullptr;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        error = describe("cannot unlock the pseudo-terminal");
        ::close(master);
        return nullptr;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = describe("cannot open the pseudo-terminal's slave side");
        ::close(master);
        return nullptr;
    }
    termios raw{};
    if (tcgetattr(slave, &raw) != 0) {
        error = describe("cannot read the pseudo-terminal's settings");
    } else {
        cfmakeraw(&raw);
        cfsetispeed(&raw, B115200);
        cfsetospeed(&raw, B115200);
        if (tcsetattr(slave, TCSANOW, &raw) != 0) {
            error = describe("cannot put the pseudo-terminal in raw mode");
        }
    }
    const int flags = fcntl(master, F_GETFL);
    if (error.empty() && (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)) {
        error = describe("cannot make the pseudo-terminal non-blocking");
    }
    if (!error.empty()) {
        ::close(slave);
        ::close(master);
        return nullptr;
    }
    return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(master, slave, name));
}

PseudoTerminal::PseudoTerminal(int master, int slave, std::string slavePath)
    : master_(master), slave_(slave), slavePath_(std::move(slavePath)) {}

PseudoTerminal::~PseudoTerminal() {
    ::close(slave_);
    ::close(master_);
}
