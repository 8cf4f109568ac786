// Holds a serial port open in a process of its own, for the tests of exclusive access.
// Usage: lumenta-test-port-holder PORT. Prints "held" once the port is open (or "failed CODE") and
// keeps it open until its standard input ends.
#include <unistd.h>

#include <cstdio>

#include "serial/posix/serial_port_unix_base.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    CSerialPortUnixBase port;
    port.setPortName(argv[1]);
    if (!port.open()) {
        std::printf("failed %d\n", static_cast<int>(port.lastStatus()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char ignored;
    while (::read(STDIN_FILENO, &ignored, 1) > 0) {
    }
    port.close();
    return 0;
}
