#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "serial/serial_port_base.h"
#include "tests/serial/recording_listener.h"

// The behaviour every port backend shares, written once (port_contract_test.cpp) and run against each
// backend on a device of its own: a rig gives the port, the far end of its line, and the means to take
// the device away. Each backend's tests instantiate the suite with their rigs:
//   INSTANTIATE_TEST_SUITE_P(Pty, PortContractTest, ::testing::Values(RigMaker{"Pty", makePtyRig}), rigName);
class PortRig {
public:
    virtual ~PortRig() = default;

    // A new port of the backend under test, not yet initialised.
    virtual std::unique_ptr<CSerialPortBase> makePort() = 0;
    // The same, running hook once its receive thread has started and before open returns.
    virtual std::unique_ptr<CSerialPortBase> makePortHookingThreadStart(std::function<void()> hook) = 0;
    // The name under which a port reaches the rig's device, and one that leads to no device.
    virtual std::string portName() = 0;
    virtual std::string missingName() = 0;

    // The far end: bytes towards the port, and what the port has sent, until count bytes have come or
    // the time is up.
    virtual void send(const std::string& bytes) = 0;
    virtual std::string receive(std::size_t count, std::chrono::milliseconds limit) = 0;

    // Makes the line take no more bytes (flow control held back, a far end that reads nothing); the size
    // of a write that it then holds up, and whether such a write is under way.
    virtual std::size_t holdWrites() = 0;
    virtual bool writeUnderWay() = 0;

    // Takes the device away as an unplugged adapter or a far end that hangs up does; false when this
    // rig cannot. restoreDevice brings a working device back under the same name. Neither changes
    // what the rig itself holds (threadsInUse, handlesInUse).
    virtual bool removeDevice() = 0;
    virtual void restoreDevice() = 0;

    // Threads and handles (descriptors) of this process, to see that nothing is left behind; each may
    // count a few that come and go on their own, so the suite waits for them to settle.
    virtual int threadsInUse() = 0;
    virtual int handlesInUse() = 0;
    // Handles that may stay behind for good reasons: Windows makes an event for a lock the first time
    // two threads meet at it, and keeps it as long as the lock lives.
    virtual int handleSlack() { return 0; }
    // Device handles released more than once, or that were never handed out; -1 when the rig cannot
    // tell.
    virtual int strayReleases() { return -1; }
};

// The backend's port, running hook once its receive thread has started and before open returns.
template <class Port>
class ThreadStartHooked : public Port {
public:
    template <class... Args>
    explicit ThreadStartHooked(std::function<void()> hook, Args&... args)
        : Port(args...), hook_(std::move(hook)) {}

protected:
    bool startThread(PortSession& session, std::function<void()> body) override {
        const bool started = Port::startThread(session, std::move(body));
        if (started) {
            hook_();
        }
        return started;
    }

private:
    std::function<void()> hook_;
};

struct RigMaker {
    const char* name;
    std::function<std::unique_ptr<PortRig>()> make;
};

inline std::string rigName(const ::testing::TestParamInfo<RigMaker>& info) {
    return info.param.name;
}

// So that test listings name the rig.
inline void PrintTo(const RigMaker& maker, std::ostream* out) {
    *out << maker.name;
}

namespace contract {

inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// What the port holds now, read by the size asked (bytes arriving meanwhile wait for the next read).
inline std::string readAll(CSerialPortBase& port) {
    std::string out(static_cast<std::size_t>(port.bytesAvailable()), '\0');
    const std::int32_t got = out.empty() ? 0 : port.read(&out[0], static_cast<std::int32_t>(out.size()));
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

}  // namespace contract

class PortContractTest : public ::testing::TestWithParam<RigMaker> {
protected:
    void SetUp() override {
        rig = GetParam().make();
        ASSERT_NE(rig, nullptr) << "the rig is not available";
        port = rig->makePort();
    }

    void init(CSerialPortBase& target, std::uint32_t ringSize = 4096, std::int32_t dataBits = 8) {
        target.init(rig->portName().c_str(), 115200, Parity::None, dataBits, StopBits::One, FlowControl::None,
                    ringSize);
    }
    // Opens `port` with the recording listener called straight from the receive thread.
    void openPort(std::uint32_t ringSize = 4096) {
        init(*port, ringSize);
        port->setReadNotifyDelay(0);
        port->setListener(&listener);
        ASSERT_TRUE(port->open()) << port->lastStatusMessage();
    }
    // What the process holds now, and whether it is back to that.
    void noteResources() {
        threads = rig->threadsInUse();
        handles = rig->handlesInUse();
    }
    ::testing::AssertionResult resourcesBack() {
        const bool back = contract::waitUntil([&] {
            return rig->threadsInUse() <= threads && rig->handlesInUse() <= handles + rig->handleSlack();
        });
        if (back) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "threads " << rig->threadsInUse() << " (were " << threads << "), handles "
               << rig->handlesInUse() << " (were " << handles << ", " << rig->handleSlack() << " may stay)";
    }

    std::unique_ptr<PortRig> rig;
    RecordingListener listener;
    std::unique_ptr<CSerialPortBase> port;
    int threads = 0;
    int handles = 0;
};
