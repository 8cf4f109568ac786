// How lumenta-send drives the port: the panel's line settings, one write of the whole frame, the
// output drained before the close, and nothing written when the port does not open.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/serial/stub_port.h"
#include "tools/send/frame_sender.h"

namespace {

// Records every call the sender makes; each step can be made to fail.
class RecordingPort : public StubPort {
public:
    std::vector<std::string> calls;
    std::vector<std::string> writes;
    std::int32_t baud = 0, dataBits = 0, readBufferSize = 0;
    Parity parityGiven = Parity::Odd;
    StopBits stopBitsGiven = StopBits::Two;
    FlowControl flowGiven = FlowControl::Hardware;

    bool openWorks = true;
    SerialStatus openFailure = SerialStatus::AccessDenied;
    std::int32_t writeTakes = -1;  // bytes taken per write; -1 takes all
    bool flushWorks = true;

    void init(const char* name, std::int32_t baudRate, Parity parity, std::int32_t bits, StopBits stopBits,
              FlowControl flow, std::uint32_t bufferSize) override {
        calls.push_back(std::string("init ") + name);
        baud = baudRate;
        parityGiven = parity;
        dataBits = bits;
        stopBitsGiven = stopBits;
        flowGiven = flow;
        readBufferSize = static_cast<std::int32_t>(bufferSize);
    }
    bool open() override {
        calls.push_back("open");
        if (!openWorks) {
            recordStatus(openFailure);
            return false;
        }
        return StubPort::open();
    }
    void close() override {
        calls.push_back("close");
        StubPort::close();
    }
    std::int32_t write(const char* data, std::int32_t size) override {
        calls.push_back("write");
        if (!isOpen()) {
            return -1;
        }
        const std::int32_t taken = writeTakes < 0 ? size : writeTakes;
        writes.emplace_back(data, static_cast<std::size_t>(taken));
        if (taken < size) {
            recordStatus(SerialStatus::WriteFailed);
        }
        return taken;
    }
    bool flush() override {
        calls.push_back("flush");
        return flushWorks;
    }
};

struct Rig {
    RecordingPort* port;
    CSerialPortFacade facade;
    Rig() : Rig(std::make_unique<RecordingPort>()) {}

private:
    explicit Rig(std::unique_ptr<RecordingPort> owned) : port(owned.get()), facade(std::move(owned)) {}
};

const DimmerFrame kFrame = buildDimmerFrame(5, 0, 128);

TEST(FrameSender, OpensLikeThePanelWritesTheFrameOnceAndDrainsBeforeClosing) {
    Rig rig;
    const SendReport report = sendFrame(rig.facade, "vdimmer0", kFrame);
    EXPECT_EQ(report.stage, SendReport::Stage::Sent);
    EXPECT_EQ(rig.port->calls,
              (std::vector<std::string>{"init vdimmer0", "open", "write", "flush", "close"}));
    EXPECT_EQ(rig.port->baud, 115200);
    EXPECT_EQ(rig.port->parityGiven, Parity::None);
    EXPECT_EQ(rig.port->dataBits, 8);
    EXPECT_EQ(rig.port->stopBitsGiven, StopBits::One);
    EXPECT_EQ(rig.port->flowGiven, FlowControl::None);
    EXPECT_EQ(rig.port->readBufferSize, 4096);
    ASSERT_EQ(rig.port->writes.size(), 1u);
    EXPECT_EQ(rig.port->writes[0], std::string("\xAA\x05\x00\x80\x00\x2F", 6));
}

TEST(FrameSender, WritesNothingWhenThePortDoesNotOpen) {
    Rig rig;
    rig.port->openWorks = false;
    rig.port->openFailure = SerialStatus::NotFound;
    const SendReport report = sendFrame(rig.facade, "ttyUSB0", kFrame);
    EXPECT_EQ(report.stage, SendReport::Stage::OpenFailed);
    EXPECT_EQ(report.status, SerialStatus::NotFound);
    EXPECT_EQ(rig.port->calls, (std::vector<std::string>{"init ttyUSB0", "open"}));
}

TEST(FrameSender, AnEarlierRecordDoesNotNameTheFailure) {
    Rig rig;
    rig.port->recordStatus(SerialStatus::AccessDenied);
    rig.port->openWorks = false;
    rig.port->openFailure = SerialStatus::Success;  // a port that fails without saying why
    EXPECT_EQ(sendFrame(rig.facade, "p", kFrame).status, SerialStatus::OpenFailed);
}

TEST(FrameSender, AShortWriteOrOutputThatDoesNotDrainIsAFailureAndThePortIsClosed) {
    {
        Rig rig;
        rig.port->writeTakes = 3;
        const SendReport report = sendFrame(rig.facade, "p", kFrame);
        EXPECT_EQ(report.stage, SendReport::Stage::WriteFailed);
        EXPECT_EQ(report.status, SerialStatus::WriteFailed);
        EXPECT_EQ(rig.port->calls.back(), "close");
        EXPECT_EQ(rig.port->writes.size(), 1u) << "a failed write is not repeated";
    }
    {
        Rig rig;
        rig.port->flushWorks = false;
        const SendReport report = sendFrame(rig.facade, "p", kFrame);
        EXPECT_EQ(report.stage, SendReport::Stage::WriteFailed);
        EXPECT_EQ(report.status, SerialStatus::WriteFailed) << "a port that records nothing still fails";
        EXPECT_EQ(rig.port->calls.back(), "close");
    }
}

}  // namespace
