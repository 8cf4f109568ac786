#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/posix/port_path.h"
#include "serial/serial_status.h"

// The system calls the POSIX port makes on its device, each with the few rules around it.
namespace device_io {

// Opens a resolved port for reading and writing: non-blocking, close-on-exec, never as the
// controlling terminal, without following a final link. What opened must be the device that was
// resolved, a terminal, and for a virtual port still served by its live publisher (checked before
// anything is done to it). The port is then held exclusively: an advisory lock (seen by this and
// every other process that asks for it), which the kernel drops with its holder, and on a real
// device also the terminal's exclusive mode (later opens by other programs are refused by the
// kernel). A pseudo-terminal does not get that mode: its publisher keeps the terminal open, so the
// mode would outlive a holder that was killed and lock the user out until the publisher restarts.
// A real device also honours the lock-file convention of terminal programs (uucp_lock): one whose
// lock a live program holds is not opened; once held, the port writes its own lock file.
// Returns the descriptor, or -1 and the status to record:
//   NotFound      no such device, or the virtual port stopped being served meanwhile;
//   AccessDenied  held by another port or program, or permission refused;
//   OpenFailed    anything else, among it a device that is not a terminal.
int openExclusive(const PortTarget& target, SerialStatus& status);

// Gives up the exclusive hold (and the lock file), discards unread input and closes the descriptor. Output
// still queued is first given the time to leave while the line keeps taking it (closeStallLimitMs without
// progress); what a stopped line holds back is then discarded, so that closing never waits long.
// Output that has left the device is never touched.
void releaseAndClose(int fd, std::int32_t baudRate);

// One read of at most size bytes: what is there, possibly none (0), or -1 with errno when the device
// fails.
std::int32_t readSome(int fd, char* buffer, std::int32_t size);

// Bytes waiting in the device's input queue, or -1 when it cannot tell.
int queuedInput(int fd);

// Writes all size bytes, taking partial writes and a full output buffer in its stride. False when
// the device fails, hangs up (errno EIO), takes nothing for stallLimit milliseconds (ETIMEDOUT), or
// haltFd turns readable meanwhile (ECANCELED): the port is being closed.
bool writeAll(int fd, const char* data, std::size_t size, int stallLimit, int haltFd);

// Whether a failed read or write with this errno means that the device has gone (unplugged, or a
// pseudo-terminal whose other side was closed).
bool isDeviceGone(int error);

// Waits until the output has left the device, under the same stall rule; haltFd (or -1) as above.
bool drainOutput(int fd, int stallLimit, std::int32_t baudRate, int haltFd);

bool discardInput(int fd);
bool discardOutput(int fd);

// Raises (on) or lowers a modem control line: TIOCM_DTR or TIOCM_RTS.
bool setModemLine(int fd, int line, bool on);

}  // namespace device_io
