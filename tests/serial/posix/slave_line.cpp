#include "slave_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool readSlaveLine(int fd, SlaveLine& line) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    line.iflag = settings.c_iflag;
    line.oflag = settings.c_oflag;
    line.cflag = settings.c_cflag;
    line.lflag = settings.c_lflag;
    line.inputSpeed = settings.c_ispeed;
    line.outputSpeed = settings.c_ospeed;
    line.readMinimum = settings.c_cc[VMIN];
    line.readTime = settings.c_cc[VTIME];
    return true;
}
