// This file talks to the kernel's terminal interface directly (struct termios2 and its ioctls),
// which is what arbitrary baud rates need. The kernel's headers and the C library's <termios.h>
// define the same names differently, so <termios.h> must not be included here.
#include "serial/posix/terminal_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace terminal_line {

namespace {

bool readSettings(int fd, termios2& settings) {
    return ioctl(fd, TCGETS2, &settings) == 0;
}

bool writeSettings(int fd, const termios2& settings) {
    return ioctl(fd, TCSETS2, &settings) == 0;
}

// Reads the settings, lets change() adjust them, writes them back.
template <typename Change>
bool modify(int fd, Change change) {
    termios2 settings{};
    if (!readSettings(fd, settings)) {
        return false;
    }
    change(settings);
    return writeSettings(fd, settings);
}

void putBaudRate(termios2& settings, std::int32_t baudRate) {
    // Both directions at the given rate, whatever constant the device had before.
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ospeed = static_cast<speed_t>(baudRate);
    settings.c_ispeed = static_cast<speed_t>(baudRate);
}

bool isKnownFlowControl(FlowControl flowControl) {
    return flowControl == FlowControl::None || flowControl == FlowControl::Hardware ||
           flowControl == FlowControl::Software;
}

void putRaw(termios2& settings) {
    settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                          IUCLC | IMAXBEL | INPCK);
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | TOSTOP);
    settings.c_cflag |= CLOCAL | CREAD;
    // Reads and readiness: a single character is enough; nothing waits on a timer.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

bool isValidParity(Parity parity) {
    const auto value = static_cast<std::int32_t>(parity);
    return value >= 0 && value <= 4;
}

}  // namespace

bool isValidLine(std::int32_t baudRate, Parity parity, std::int32_t dataBits, StopBits stopBits) {
    if (baudRate <= 0 || !isValidParity(parity) || dataBits < 5 || dataBits > 8) {
        return false;
    }
    switch (stopBits) {
        case StopBits::One:
            return true;
        case StopBits::OneAndHalf:
            return dataBits == 5;
        case StopBits::Two:
            return dataBits != 5;
    }
    return false;
}

bool applyRawLine(int fd, std::int32_t baudRate, Parity parity, std::int32_t dataBits, StopBits stopBits,
                  FlowControl flowControl) {
    if (!isValidLine(baudRate, parity, dataBits, stopBits)) {
        return false;
    }
    return modify(fd, [&](termios2& settings) {
        putRaw(settings);
        putBaudRate(settings, baudRate);
        settings.c_cflag = withParity(settings.c_cflag, parity);
        settings.c_cflag = withDataBits(settings.c_cflag, dataBits);
        settings.c_cflag = withStopBits(settings.c_cflag, stopBits);
        withFlowControl(settings.c_cflag, settings.c_iflag, flowControl);
    });
}

bool applyBaudRate(int fd, std::int32_t baudRate) {
    if (baudRate <= 0) {
        return false;
    }
    return modify(fd, [&](termios2& settings) { putBaudRate(settings, baudRate); });
}

bool applyParity(int fd, Parity parity) {
    if (!isValidParity(parity)) {
        return false;
    }
    return modify(fd, [&](termios2& settings) { settings.c_cflag = withParity(settings.c_cflag, parity); });
}

bool applyDataBits(int fd, std::int32_t dataBits) {
    if (dataBits < 5 || dataBits > 8) {
        return false;
    }
    return modify(fd,
                  [&](termios2& settings) { settings.c_cflag = withDataBits(settings.c_cflag, dataBits); });
}

bool applyStopBits(int fd, StopBits stopBits) {
    if (stopBits != StopBits::One && stopBits != StopBits::OneAndHalf && stopBits != StopBits::Two) {
        return false;
    }
    return modify(fd,
                  [&](termios2& settings) { settings.c_cflag = withStopBits(settings.c_cflag, stopBits); });
}

bool applyFlowControl(int fd, FlowControl flowControl) {
    if (!isKnownFlowControl(flowControl)) {
        return false;
    }
    return modify(
        fd, [&](termios2& settings) { withFlowControl(settings.c_cflag, settings.c_iflag, flowControl); });
}

bool applyReadMinimum(int fd, unsigned int count) {
    const unsigned int minimum = count < 1 ? 1 : (count > 255 ? 255 : count);
    return modify(fd, [&](termios2& settings) {
        settings.c_cc[VMIN] = static_cast<cc_t>(minimum);
        settings.c_cc[VTIME] = 0;
    });
}

unsigned int withParity(unsigned int controlFlags, Parity parity) {
    if (!isValidParity(parity)) {
        return controlFlags;
    }
    controlFlags &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            controlFlags |= PARENB | PARODD;
            break;
        case Parity::Even:
            controlFlags |= PARENB;
            break;
        case Parity::Mark:  // stick parity: the bit is always 1
            controlFlags |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::Space:  // stick parity: the bit is always 0
            controlFlags |= PARENB | CMSPAR;
            break;
    }
    return controlFlags;
}

unsigned int withDataBits(unsigned int controlFlags, std::int32_t dataBits) {
    static const unsigned int sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits < 5 || dataBits > 8) {
        return controlFlags;
    }
    return (controlFlags & ~CSIZE) | sizes[dataBits - 5];
}

unsigned int withStopBits(unsigned int controlFlags, StopBits stopBits) {
    switch (stopBits) {
        case StopBits::One:
            return controlFlags & ~CSTOPB;
        case StopBits::OneAndHalf:
        case StopBits::Two:
            return controlFlags | CSTOPB;
    }
    return controlFlags;
}

void withFlowControl(unsigned int& controlFlags, unsigned int& inputFlags, FlowControl flowControl) {
    if (!isKnownFlowControl(flowControl)) {
        return;
    }
    controlFlags &= ~CRTSCTS;
    inputFlags &= ~(IXON | IXOFF | IXANY);
    if (flowControl == FlowControl::Hardware) {
        controlFlags |= CRTSCTS;
    } else if (flowControl == FlowControl::Software) {
        inputFlags |= IXON | IXOFF;
    }
}

}  // namespace terminal_line
