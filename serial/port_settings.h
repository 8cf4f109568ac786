#pragma once

#include <cstdint>

// Line settings. The numbers of Parity and StopBits are those of the Windows DCB and reach the device
// unchanged; values outside the named ones can be stored and are reported back as they were given.
enum class Parity : std::int32_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::int32_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class FlowControl : std::int32_t { None = 0, Hardware = 1, Software = 2 };

// Asynchronous: a receive thread fills the ring buffer and tells the listener; reads come from the
// buffer. Synchronous: no thread, reads go to the device. Any non-zero value counts as Synchronous.
enum class IoMode : std::int32_t { Asynchronous = 0, Synchronous = 1 };

constexpr unsigned int kPortNameCapacity = 256;  // 255 characters and the terminating zero

struct PortSettings {
    char portName[kPortNameCapacity] = {};
    std::int32_t baudRate = 9600;
    Parity parity = Parity::None;
    std::int32_t dataBits = 8;
    StopBits stopBits = StopBits::One;
    FlowControl flowControl = FlowControl::None;
    std::uint32_t readBufferSize = 4096;
};

// The line refuses two pairings: 5 data bits with two stop bits, and 6 to 8 data bits with one and a
// half. A setter of an open port applies a new value only when it fits the other, stored setting.
bool dataBitsFitStopBits(std::int32_t dataBits, StopBits stopBits);
bool stopBitsFitDataBits(StopBits stopBits, std::int32_t dataBits);

// How long a write (and a flush) waits while the device takes none of its bytes, before it gives up
// with WriteFailed: the time the driver's whole output buffer (4 KiB, at 12 bits a character, the
// longest frame) takes at this rate, twice over, plus one second; about 1.9 s at 115200 baud. A line
// held back for good (flow control, XOFF, a reader that went away) fails this way on every backend.
int writeStallLimitMs(std::int32_t baudRate);

// How long a close lets output that a write already reported as written leave the device while the
// line takes none of it: 200 ms and four character times. Past that, what a stopped line holds back
// is discarded, so that closing never waits long.
int closeStallLimitMs(std::int32_t baudRate);

// Copies at most 255 characters of name and always terminates; a null name becomes empty.
void copyPortName(char (&field)[kPortNameCapacity], const char* name);
