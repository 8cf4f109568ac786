#pragma once

// How lumenta-send ends. Each failure has a code of its own, so that a script can tell them apart.
// On every failure but WriteFailed nothing has been written to the port; after a failed write part
// of the frame may have left it (a dimmer drops a frame that is cut short, as its checksum fails).
enum class SendExitCode : int {
    Sent = 0,              // the frame was written and has left the port (also --list, --help)
    Usage = 2,             // bad option or value
    UnknownPort = 3,       // no serial port of that name is listed
    PortBusy = 4,          // another program holds the port
    PermissionDenied = 5,  // the user may not open the port
    WriteFailed = 6,       // the port opened but did not take the whole frame; part may have left
    OpenFailed = 7,        // the port exists but could not be opened or set up for another reason
};

inline int exitStatus(SendExitCode code) {
    return static_cast<int>(code);
}
