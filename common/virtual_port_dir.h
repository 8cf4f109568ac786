#pragma once

#include <string>

// Virtual ports (served by the virtual dimmer on a pseudo-terminal) are published on Linux as
// symbolic links NAME -> /dev/pts/N in one per-user directory:
//   $LUMENTA_PORT_DIR when set (tests use it to keep to themselves),
//   else $XDG_RUNTIME_DIR/lumenta/ports,
//   else /tmp/lumenta-UID/ports.
std::string virtualPortDirectory();

// A virtual port's name is a plain file name: 1..64 characters of letters, digits, '.', '_' and
// '-', not starting with '.'.
bool isValidVirtualPortName(const std::string& name);
