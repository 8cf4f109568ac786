#pragma once

namespace kelso {

// Implemented by whoever wants to hear that bytes have arrived. Called on a thread of the library
// (the receive thread, or the read notifier's thread when a delay is set), never with a lock of the
// port held, so the listener may call the port, its read operations included.
class CSerialPortListener {
public:
    virtual ~CSerialPortListener() = default;
    // portName is valid for the duration of the call; byteCount is everything the port's receive buffer
    // holds, not only the latest chunk.
    virtual void onDataReceived(const char* portName, unsigned int byteCount) = 0;
};

}  // namespace kelso
