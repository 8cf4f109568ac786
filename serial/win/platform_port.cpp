#include "serial/port_facade.h"
#include "serial/win/serial_port_win_base.h"

std::unique_ptr<CSerialPortBase> createPlatformPort() {
    return std::make_unique<CSerialPortWinBase>();
}
