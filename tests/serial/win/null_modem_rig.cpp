// The port contract on the Windows port over kernel32 itself: under Wine, on one end of the test
// session's null-modem cable (COM5), with a plain handle on the other end (COM6) as the far end. The
// cable pulls COM5's end out on order (a line in its control pipe), and puts a new one behind the name
// before the old one hangs up.
#include "serial/win/serial_port_win_base.h"
#include "tests/serial/port_contract.h"
#include "tests/support/null_modem_control.h"
#include "win_test_support.h"

namespace {

class NullModemRig : public PortRig {
public:
    std::unique_ptr<CSerialPortBase> makePort() override { return std::make_unique<CSerialPortWinBase>(); }
    std::unique_ptr<CSerialPortBase> makePortHookingThreadStart(std::function<void()> hook) override {
        return std::make_unique<ThreadStartHooked<CSerialPortWinBase>>(std::move(hook));
    }
    std::string portName() override { return wintest::kNearPort; }
    std::string missingName() override { return "COM77"; }

    void send(const std::string& bytes) override { far_.send(bytes); }
    std::string receive(std::size_t count, std::chrono::milliseconds limit) override {
        return far_.receive(count, static_cast<int>(limit.count()));
    }

    // Wine's pseudo-terminal takes every write: nothing holds one up.
    std::size_t holdWrites() override { return 0; }
    bool writeUnderWay() override { return false; }

    bool removeDevice() override { return orderNullModem("hang up A"); }
    void restoreDevice() override {}

    int threadsInUse() override { return wintest::processThreadCount(); }
    int handleSlack() override { return 8; }
    int handlesInUse() override { return wintest::handlesInUse(); }

private:
    wintest::PlainPort far_{wintest::kFarPort};
};

std::unique_ptr<PortRig> makeNullModemRig() {
    auto rig = std::make_unique<NullModemRig>();
    // What the system and the thread library set up once, over the first opens and transfers, is
    // not counted as the port's.
    for (int i = 0; i < 3; ++i) {
        CSerialPortWinBase warmUp;
        warmUp.init(wintest::kNearPort, 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
        if (!warmUp.open() || warmUp.write("w", 1) != 1) {
            return nullptr;
        }
        rig->send("w");
        wintest::waitUntil([&] { return warmUp.bytesAvailable() == 1; });
    }
    rig->receive(3, std::chrono::milliseconds(1000));
    return rig;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Wine, PortContractTest, ::testing::Values(RigMaker{"NullModem", makeNullModemRig}),
                         rigName);
