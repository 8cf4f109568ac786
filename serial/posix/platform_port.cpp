#include "serial/port_facade.h"
#include "serial/posix/serial_port_unix_base.h"

std::unique_ptr<CSerialPortBase> createPlatformPort() {
    return std::make_unique<CSerialPortUnixBase>();
}
