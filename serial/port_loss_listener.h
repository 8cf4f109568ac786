#pragma once

namespace kelso {

// Implemented by whoever wants to hear at once that an open port's device has gone (an adapter
// unplugged, the far end of a pseudo-terminal closed). Called on the receive thread that found it out,
// never with a lock of the port held, at most once per opening; by then the port reports itself
// closed and its status says why. A write that finds the device gone first reports it by its own
// result instead, and no call follows.
class CPortLossListener {
public:
    virtual ~CPortLossListener() = default;
    // portName is valid for the duration of the call.
    virtual void onPortLost(const char* portName) = 0;
};

}  // namespace kelso
