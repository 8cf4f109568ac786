#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/port_settings.h"

// One opening of a port, from open to close: the device a backend holds, and what the port shares with
// the receive thread it started. The thread holds a share, so a session outlives the port's interest in
// it for as long as the thread runs; once `running` is clear the thread touches nothing of the port any
// more, which lets a listener close, reopen or even destroy the port from inside its call.
struct PortSession {
    virtual ~PortSession() = default;

    std::atomic<bool> running{true};        // cleared by close
    std::atomic<bool> lost{false};          // the device has gone; set once, under the port's mutex
    bool asynchronous = true;               // the I/O mode the device was opened in
    char portName[kPortNameCapacity] = {};  // the name the thread reports
    std::thread thread;                     // none in Synchronous mode

    // The receive thread holds this whenever it uses the device, and never while it calls the listener.
    // Close takes it once it has cleared `running` and interrupted the device: from then on the thread is
    // out of the device for good, so the device can go although the thread itself may still run.
    std::mutex deviceUse;
};

// What a backend does with its device. The port's one lifecycle (CSerialPortBase's openPort,
// closePort and endPort) calls these steps, in this order, and nothing else of the backend.
class PortDevice {
public:
    virtual ~PortDevice() = default;

    // Under the port's mutex: opens the device the settings name and sets it up for the mode; the
    // session holding it, or null after recording why it did not open (nothing of it is left then).
    virtual std::shared_ptr<PortSession> openDevice(bool asynchronous) = 0;
    // Starts the session's receive thread on body; false when the system gives no thread.
    virtual bool startThread(PortSession& session, std::function<void()> body);
    // The receive thread. It returns once the session stops running or its device is lost.
    virtual void receiveLoop(PortSession& session) = 0;
    // With no lock held, on the session's device, which is still held: ends the receive thread's wait
    // and makes every transfer under way fail at once. Close calls it before it waits for anything.
    virtual void interruptDevice(PortSession& session) = 0;
    // Under the port's mutex, once no thread uses the device any more: gives it up.
    virtual void releaseDevice(PortSession& session) = 0;
};
