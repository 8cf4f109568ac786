#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/port_loss_listener.h"
#include "serial/serial_port_listener.h"
#include "serial/serial_status.h"

// The one way a port's listeners are called, from the receive thread or the read notifier's thread: the
// listener of received bytes and the listener of a lost device. It keeps three promises:
// - Once a listener has been replaced or removed, or the port closed, no further call of it starts;
//   calls already running on other threads are waited for first. A thread that is itself inside a call
//   (a listener replacing itself, or closing its port) waits for nobody: the other call might be
//   waiting for it.
// - An exception thrown by a listener is caught here and recorded in the port as UnknownError; the
//   thread goes on.
// - Library threads share ownership of the gate, so that a listener may even destroy its port from
//   inside its call: the thread returns into the gate, not into the port.
class ListenerGate : public kelso::CSerialPortListener {
public:
    // status: where a listener's exception is recorded, until detachStatus.
    explicit ListenerGate(std::atomic<SerialStatus>* status) : status_(status) {}

    // Replaces a listener (null removes it) and waits for running calls of other threads.
    void setListener(kelso::CSerialPortListener* listener);
    kelso::CSerialPortListener* listener();
    void setLossListener(kelso::CPortLossListener* listener);

    // Calls are allowed while the port is open: open allows them before its receive thread starts,
    // close forbids them and waits for running calls of other threads.
    void allow();
    void forbid();

    // True when the calling thread is inside a listener call made through this gate.
    bool callingHere();

    // The port is going: nothing is recorded in it any more.
    void detachStatus();

    // Calls the listener, if there is one and calls are allowed.
    void onDataReceived(const char* portName, unsigned int byteCount) override;
    // The same for a receive thread, only while its session runs: no call of an old session starts
    // once close has cleared `running`, even after a listener has opened the port again.
    void onDataReceived(const char* portName, unsigned int byteCount, const std::atomic<bool>& running);
    void onPortLost(const char* portName, const std::atomic<bool>& running);

private:
    // Calls call(target) for a target of the kind given, as above, and while running (when given).
    template <class Listener, class Call>
    void callListener(Listener* ListenerGate::*target, const std::atomic<bool>* running, Call call);
    bool callingHereLocked() const;
    // Waits until no other thread is inside a call; returns at once from inside a call.
    void waitForOtherCalls(std::unique_lock<std::mutex>& hold);

    std::mutex mutex_;
    std::condition_variable callEnded_;
    kelso::CSerialPortListener* listener_ = nullptr;
    kelso::CPortLossListener* lossListener_ = nullptr;
    bool allowed_ = false;
    std::vector<std::thread::id> calling_;  // one entry per running call
    std::atomic<SerialStatus>* status_;
};
