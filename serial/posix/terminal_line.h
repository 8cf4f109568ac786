#pragma once

#include <cstdint>

#include "serial/port_settings.h"

// Line setup of an open terminal device. Each operation reads the device's current settings,
// changes one aspect and hands them back at once, so settings not named here stay as the device
// has them. They report whether the device took the change; none records anything.
namespace terminal_line {

// Whether a combination can be put on a line at all: 5..8 data bits, parity 0..4, stop bits One or
// Two, OneAndHalf only with 5 data bits and Two only with 6..8 (one and a half stop bits exist only
// for 5-bit characters, where a UART sends them in place of two), a positive baud rate.
bool isValidLine(std::int32_t baudRate, Parity parity, std::int32_t dataBits, StopBits stopBits);

// Raw mode: no translation of CR/LF, no XON/XOFF unless asked, no echo, no signals, no line editing;
// the receiver on and modem lines ignored (CLOCAL). Then the whole line as given. Refuses an
// invalid combination (isValidLine) without touching the device. Flow control values other than
// None, Hardware and Software leave the device's hardware handshake as it was.
bool applyRawLine(int fd, std::int32_t baudRate, Parity parity, std::int32_t dataBits, StopBits stopBits,
                  FlowControl flowControl);

// Any rate the kernel accepts; rates without a classic constant go through the driver's arbitrary
// rate interface.
bool applyBaudRate(int fd, std::int32_t baudRate);
bool applyParity(int fd, Parity parity);
bool applyDataBits(int fd, std::int32_t dataBits);
// One: one stop bit. Two and OneAndHalf: the driver's two-stop-bit setting, which a UART sends as
// one and a half stop bits when characters have 5 bits.
bool applyStopBits(int fd, StopBits stopBits);
bool applyFlowControl(int fd, FlowControl flowControl);

// How many received characters make the device report itself readable (1..255; 0 counts as 1).
bool applyReadMinimum(int fd, unsigned int count);

// The flag words the operations above write, for a line's control (c_cflag) and input (c_iflag)
// flags: each takes the flags as they are and returns them with one aspect replaced. Values outside
// the named ones leave the flags unchanged.
unsigned int withParity(unsigned int controlFlags, Parity parity);
unsigned int withDataBits(unsigned int controlFlags, std::int32_t dataBits);
unsigned int withStopBits(unsigned int controlFlags, StopBits stopBits);
void withFlowControl(unsigned int& controlFlags, unsigned int& inputFlags, FlowControl flowControl);

}  // namespace terminal_line
