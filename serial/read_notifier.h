#pragma once

#include <memory>
#include <thread>

#include "serial/serial_port_listener.h"

// Delays read notifications so that a burst of received chunks gives the listener one call: each post
// starts (or prolongs) a quiet period of delayMs, and when a whole period passes without a further post
// the listener is called once, on a notification thread of the notifier's own, with the port name and
// byte count of the latest post. At most one notification thread runs at a time.
//
// post is called from one thread (the port's receive thread). The notifier owns its thread: cancel
// drops what is pending and waits for the thread to end, and so does destruction. Called from inside a
// listener call (a listener closing or destroying its port), neither may wait: the notification thread
// may itself be in a call that waits for the caller. It then ends on its own once its call returns,
// keeping alive what it uses (the listener of a post that handed it over as shared); the next cancel
// that may wait, or post, joins it.
class ReadNotifier {
public:
    ReadNotifier();
    ~ReadNotifier();
    ReadNotifier(const ReadNotifier&) = delete;
    ReadNotifier& operator=(const ReadNotifier&) = delete;

    // The listener must outlive the call this post may lead to.
    void post(kelso::CSerialPortListener* listener, unsigned int delayMs, const char* portName,
              unsigned int byteCount);
    // The notification thread keeps this listener alive until its call has returned.
    void post(std::shared_ptr<kelso::CSerialPortListener> listener, unsigned int delayMs,
              const char* portName, unsigned int byteCount);
    // Makes a pending notification wait its full delay again.
    void restart();
    // Drops the pending notification and, when wait is set, waits for the notification thread to end.
    void cancel(bool wait = true);
    // Destruction will not wait for the notification thread either: it ends by itself.
    void letThreadEndAlone();

    struct State;

private:
    void waitForThread();

    std::shared_ptr<State> state_;
    std::thread thread_;
};
