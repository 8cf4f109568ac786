// The Windows port's own receive path, driven through the scripted device (fake_comm.h): the wait
// that pends and completes, the fallback for devices that cannot wait, device removal as drivers
// report it, and writes that run out of time. What every port promises is in port_contract_test.cpp.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "fake_rig.h"

namespace {

using wintest::waitUntil;

class WinPortFake : public ::testing::Test {
protected:
    void openPort(IoMode mode = IoMode::Asynchronous) {
        port.init("COM3", 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
        port.setIoMode(mode);
        port.setReadNotifyDelay(0);
        port.setListener(&listener);
        ASSERT_TRUE(port.open()) << port.lastStatusMessage();
    }

    FakeComm fake{"COM3"};
    RecordingListener listener;
    CSerialPortWinBase port{fake};
};

TEST_F(WinPortFake, AQuietPortSleepsInOneWaitThatCompletesWhenCharactersCome) {
    openPort();
    ASSERT_TRUE(waitUntil([&] { return fake.waitPending(); }));
    const int waits = fake.waits.load();
    const int queries = fake.queueQueries.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(fake.waits.load(), waits);
    EXPECT_EQ(fake.queueQueries.load(), queries) << "a port that can wait must not poll";

    fake.arrive("abc");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 3u);
    EXPECT_TRUE(waitUntil([&] { return fake.waitPending(); })) << "back in the wait";

    // A wait that something else ends is simply waited again.
    fake.abortWait();
    EXPECT_TRUE(waitUntil([&] { return fake.waitPending() && fake.waits.load() >= waits + 2; }));
    EXPECT_TRUE(port.isOpen());
}

TEST_F(WinPortFake, BytesBelowTheThresholdAreWaitedForNotPolledFor) {
    port.setReadThreshold(4);
    openPort();
    fake.arrive("ab");
    ASSERT_TRUE(waitUntil([&] { return fake.waits.load() >= 2 && fake.waitPending(); }));
    const int queries = fake.queueQueries.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(fake.queueQueries.load(), queries + 1) << "polls while too few bytes wait";
    fake.arrive("cd");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 4u);
}

TEST_F(WinPortFake, WaitsThatKeepFailingFallBackToPollingUntilAWaitWorksAgain) {
    fake.setWaitsFail(true);
    openPort();
    fake.arrive("polled");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 6u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // polling by now
    const int waits = fake.waits.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(fake.waits.load(), waits + 1) << "retries the failing wait without pause";

    fake.setWaitsFail(false);
    ASSERT_TRUE(waitUntil([&] { return fake.waitPending(); }, 3000));
    const int queries = fake.queueQueries.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(fake.queueQueries.load(), queries) << "still polls once the wait works";
}

TEST_F(WinPortFake, CloseEndsAWaitThatClearingTheMaskDoesNotEnd) {
    fake.setMaskEndsWait(false);
    openPort();
    ASSERT_TRUE(waitUntil([&] { return fake.waitPending(); }));
    const int threads = wintest::processThreadCount();
    port.close();
    EXPECT_FALSE(fake.waitPending());
    EXPECT_TRUE(waitUntil([&] { return wintest::processThreadCount() < threads; }));
    EXPECT_EQ(fake.openHandles(), 0);
}

// How drivers report a removed adapter differs; each is a lost device, whether the port was waiting
// or polling. The receive thread ends by itself.
TEST_F(WinPortFake, ARemovedDeviceIsLostWhateverErrorItsDriverGives) {
    for (const bool waitsFail : {false, true}) {
        for (const DWORD error : {ERROR_ACCESS_DENIED, ERROR_NOT_READY, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
                                  ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED}) {
            SCOPED_TRACE(testing::Message() << "error " << error << (waitsFail ? ", polling" : ""));
            fake.restore();
            fake.setWaitsFail(waitsFail);
            const int threads = wintest::processThreadCount();
            openPort();
            fake.remove(error);
            ASSERT_TRUE(waitUntil([&] { return !port.isOpen(); }, 3000));
            EXPECT_EQ(port.lastStatus(), SerialStatus::ReadFailed);
            EXPECT_TRUE(waitUntil([&] { return wintest::processThreadCount() < threads + 1; }));
            port.close();
            EXPECT_EQ(fake.openHandles(), 0);
            port.clearStatus();
        }
    }
    EXPECT_EQ(fake.strayCloses.load(), 0);
}

TEST_F(WinPortFake, AWriteThatRunsOutOfTimeFailsAndThePortStaysOpen) {
    for (const IoMode mode : {IoMode::Asynchronous, IoMode::Synchronous}) {
        openPort(mode);
        fake.setWriteTimesOut(true);
        EXPECT_EQ(port.write("\xAA\x01\x00\xFF\x00\x54", 6), -1);
        EXPECT_EQ(port.lastStatus(), SerialStatus::WriteFailed);
        EXPECT_TRUE(port.isOpen());
        fake.setWriteTimesOut(false);
        EXPECT_EQ(port.write("\xAA\x01\x00\xFF\x00\x54", 6), 6);
        port.close();
        fake.takeWritten();
    }
}

TEST_F(WinPortFake, AWriteThatFindsTheDeviceGoneLeavesThePortClosed) {
    openPort(IoMode::Synchronous);  // no receive thread to notice it first
    fake.remove(ERROR_BAD_COMMAND);
    EXPECT_EQ(port.write("x", 1), -1);
    EXPECT_EQ(port.lastStatus(), SerialStatus::WriteFailed);
    EXPECT_FALSE(port.isOpen());
    char buffer[4];
    EXPECT_EQ(port.read(buffer, 4), -1);
    EXPECT_EQ(port.lastStatus(), SerialStatus::NotOpen);
    EXPECT_EQ(fake.openHandles(), 1) << "the handle is the port's until close";
    port.close();
    EXPECT_EQ(fake.openHandles(), 0);
}

TEST_F(WinPortFake, TheLongestNameGoesWholeIntoTheDevicePath) {
    const std::string longest(255, 'C');
    port.setPortName((longest + "cut").c_str());
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastStatus(), SerialStatus::NotFound);
    EXPECT_EQ(fake.lastPath(), "\\\\.\\" + longest);
}

}  // namespace
