#pragma once

// The line settings a terminal holds now, read with the kernel's own interface so that arbitrary
// baud rates show as they are. Flag names are those of <termios.h>; the values are the kernel's.
struct SlaveLine {
    unsigned int iflag = 0;
    unsigned int oflag = 0;
    unsigned int cflag = 0;
    unsigned int lflag = 0;
    unsigned int inputSpeed = 0;
    unsigned int outputSpeed = 0;
    unsigned int readMinimum = 0;
    unsigned int readTime = 0;
};

bool readSlaveLine(int fd, SlaveLine& line);
