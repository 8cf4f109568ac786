#include "serial/port_facade.h"

// The panel's port: this platform's backend, calling its listener straight from the receive thread for
// every chunk of one byte or more. Kept apart from the rest of the facade so that programs and tests
// that hand the facade a port of their own do not need a backend.
CSerialPortFacade::CSerialPortFacade() : CSerialPortFacade(createPlatformPort()) {
    if (port_) {
        port_->setReadNotifyDelay(0);
        port_->setReadThreshold(1);
    }
}
