#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "fake_comm.h"
#include "serial/win/serial_port_win_base.h"
#include "tests/serial/port_contract.h"
#include "win_test_support.h"

// The port contract on the Windows port over the scripted device: the main receive path (a wait that
// pends and completes), or with waitsFail the fallback that polls the queue, as under Wine.
class FakeRig : public PortRig {
public:
    explicit FakeRig(bool waitsFail = false) { fake.waitsFail = waitsFail; }

    std::unique_ptr<CSerialPortBase> makePort() override {
        return std::make_unique<CSerialPortWinBase>(fake);
    }
    std::unique_ptr<CSerialPortBase> makePortHookingThreadStart(std::function<void()> hook) override {
        return std::make_unique<ThreadStartHooked<CSerialPortWinBase>>(std::move(hook), fake);
    }
    std::string portName() override { return "COM3"; }
    std::string missingName() override { return "COM77"; }

    void send(const std::string& bytes) override { fake.arrive(bytes); }
    std::string receive(std::size_t count, std::chrono::milliseconds limit) override {
        wintest::waitUntil(
            [&] {
                written_ += fake.takeWritten();
                return written_.size() >= count;
            },
            static_cast<int>(limit.count()));
        const std::string out = written_.substr(0, count);
        written_.erase(0, out.size());
        return out;
    }

    std::size_t holdWrites() override {
        fake.setWritesHeld(true);
        return 6;
    }
    bool writeUnderWay() override { return fake.writePending(); }

    bool removeDevice() override {
        fake.remove(ERROR_ACCESS_DENIED);
        return true;
    }
    void restoreDevice() override { fake.restore(); }

    int threadsInUse() override { return wintest::processThreadCount(); }
    int handleSlack() override { return 8; }
    int handlesInUse() override { return wintest::handlesInUse() + fake.openHandles(); }
    int strayReleases() override { return fake.strayCloses.load(); }

    FakeComm fake{"COM3"};

private:
    std::string written_;
};
