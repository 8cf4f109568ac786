// The port contract on the POSIX port, over a pseudo-terminal published as a virtual port: the test
// talks on the master side, and closing the pair is an unplugged device.
#include <sys/ioctl.h>

#include "pty_pair.h"
#include "serial/posix/serial_port_unix_base.h"
#include "tests/serial/port_contract.h"
#include "thread_probe.h"

namespace {

class PtyRig : public PortRig {
public:
    PtyRig() : pty_(std::make_unique<PtyPair>()) { ports_.publish(kName, pty_->slavePath()); }

    std::unique_ptr<CSerialPortBase> makePort() override { return std::make_unique<CSerialPortUnixBase>(); }
    std::unique_ptr<CSerialPortBase> makePortHookingThreadStart(std::function<void()> hook) override {
        return std::make_unique<ThreadStartHooked<CSerialPortUnixBase>>(std::move(hook));
    }
    std::string portName() override { return kName; }
    std::string missingName() override { return "ttyLumentaNone"; }

    void send(const std::string& bytes) override { pty_->send(bytes); }
    std::string receive(std::size_t count, std::chrono::milliseconds limit) override {
        return pty_->receive(count, limit);
    }

    // Nobody reads the master side unless the test receives: a write larger than the line holds stays.
    // What an earlier write left there is taken first, so that a new write shows.
    std::size_t holdWrites() override {
        pty_->drain(std::chrono::milliseconds(10));
        return 1 << 20;
    }
    bool writeUnderWay() override {
        int queued = 0;
        return ioctl(pty_->master(), FIONREAD, &queued) == 0 && queued > 0;
    }

    bool removeDevice() override {
        pty_.reset();  // both sides go, as when an adapter is pulled out
        return true;
    }
    void restoreDevice() override {
        pty_ = std::make_unique<PtyPair>();
        ports_.unpublish(kName);
        ports_.publish(kName, pty_->slavePath());
    }

    int threadsInUse() override { return static_cast<int>(threadIds().size()); }
    int handlesInUse() override { return openDescriptorCount(); }

private:
    static constexpr const char* kName = "line";
    PrivatePortDir ports_;
    std::unique_ptr<PtyPair> pty_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Posix, PortContractTest,
                         ::testing::Values(RigMaker{"Pty", [] { return std::make_unique<PtyRig>(); }}),
                         rigName);
