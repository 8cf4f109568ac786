// The Windows port's own paths, driven through the scripted device (fake_comm.h): the wait that pends
// and completes, the fallback for devices that cannot wait, device removal as drivers report it,
// writes that fail, what the system may refuse at open and what a device may report on the way. What
// every port promises is in port_contract_test.cpp.

#include <gtest/gtest.h>

#include <functional>
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

// Quiet, or with fewer bytes than the threshold queued, the port sleeps in one wait and never polls.
TEST_F(WinPortFake, AQuietPortSleepsInOneWaitThatCompletesWhenCharactersCome) {
    port.setReadThreshold(4);
    openPort();
    for (const char* below : {"", "ab"}) {
        const int waits = fake.waits.load();
        if (*below != '\0') {
            fake.arrive(below);
        }
        ASSERT_TRUE(
            waitUntil([&] { return fake.waitPending() && fake.waits.load() >= waits + (*below ? 1 : 0); }));
        const int queries = fake.queueQueries.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_LE(fake.waits.load(), waits + 1);
        EXPECT_EQ(fake.queueQueries.load(), queries)
            << "polls while " << (*below ? "too few bytes wait" : "quiet");
    }
    fake.arrive("cd");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 4u);
    EXPECT_TRUE(waitUntil([&] { return fake.waitPending(); })) << "back in the wait";

    // A wait that something else ends is simply waited again.
    const int waits = fake.waits.load();
    fake.abortWait();
    EXPECT_TRUE(waitUntil([&] { return fake.waitPending() && fake.waits.load() > waits; }));
    EXPECT_TRUE(port.isOpen());
}

TEST_F(WinPortFake, WaitsThatKeepFailingFallBackToPollingUntilAWaitWorksAgain) {
    fake.waitsFail = true;
    openPort();
    fake.arrive("polled");
    ASSERT_TRUE(listener.waitForCalls(1));
    EXPECT_EQ(listener.calls()[0].byteCount, 6u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // polling by now
    const int waits = fake.waits.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(fake.waits.load(), waits + 1) << "retries the failing wait without pause";

    fake.waitsFail = false;
    ASSERT_TRUE(waitUntil([&] { return fake.waitPending(); }, 3000));
    const int queries = fake.queueQueries.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(fake.queueQueries.load(), queries) << "still polls once the wait works";
}

TEST_F(WinPortFake, CloseEndsAWaitThatClearingTheMaskDoesNotEnd) {
    fake.maskEndsWait = false;
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
            fake.waitsFail = waitsFail;
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

// A write the driver ends early (its time ran out) or reports failed, for a reason that is not a
// removal, is a failure; the port stays open.
TEST_F(WinPortFake, AWriteThatFailsLeavesThePortOpen) {
    const std::function<void()> failures[] = {
        [&] { fake.writeTimesOut = true; },
        [&] { fake.failNext(FakeComm::Call::GetOverlappedResult, ERROR_SEM_TIMEOUT); },
    };
    for (const IoMode mode : {IoMode::Asynchronous, IoMode::Synchronous}) {
        for (std::size_t row = 0; row < 2 && (row == 0 || mode == IoMode::Asynchronous); ++row) {
            SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(mode) << ", row " << row);
            openPort(mode);
            failures[row]();
            EXPECT_EQ(port.write("\xAA\x01\x00\xFF\x00\x54", 6), -1);
            EXPECT_EQ(port.lastStatus(), SerialStatus::WriteFailed);
            EXPECT_TRUE(port.isOpen());
            fake.writeTimesOut = false;
            EXPECT_EQ(port.write("\xAA\x01\x00\xFF\x00\x54", 6), 6);
            port.close();
            fake.takeWritten();
        }
    }
}

// A write that finds the device gone closes the port. The status is the write's: the receive thread,
// which then finds its session lost, records nothing over it, and nobody is told of bytes.
TEST_F(WinPortFake, AWriteThatFindsTheDeviceGoneLeavesThePortClosed) {
    openPort();
    fake.failNext(FakeComm::Call::GetOverlappedResult, ERROR_GEN_FAILURE);
    EXPECT_EQ(port.write("x", 1), -1);
    EXPECT_EQ(port.lastStatus(), SerialStatus::WriteFailed);
    EXPECT_FALSE(port.isOpen());
    fake.arrive("late");
    char buffer[4];
    EXPECT_EQ(port.read(buffer, 4), -1);
    EXPECT_EQ(port.lastStatus(), SerialStatus::NotOpen);
    port.clearStatus();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success) << "the receive thread recorded over it";
    EXPECT_EQ(fake.openHandles(), 1) << "the handle is the port's until close";
    port.close();
    EXPECT_EQ(fake.openHandles(), 0);
    EXPECT_TRUE(listener.calls().empty());
}

// What the system may refuse while a port opens: the open fails with its status, and nothing of it is
// left (the next open works).
TEST_F(WinPortFake, WhatFailsAtOpenLeavesNothingBehind) {
    const struct {
        FakeComm::Call call;
        SerialStatus status;
    } rows[] = {
        {FakeComm::Call::SetCommMask, SerialStatus::InvalidParam},
        {FakeComm::Call::CreateEvent, SerialStatus::InternalError},
        {FakeComm::Call::StartThread, SerialStatus::InternalError},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.call));
        fake.failNext(row.call, ERROR_NOT_ENOUGH_MEMORY);
        port.init("COM3", 115200, Parity::None, 8, StopBits::One, FlowControl::None, 4096);
        EXPECT_FALSE(port.open());
        EXPECT_EQ(port.lastStatus(), row.status);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(fake.openHandles(), 0);
        openPort();
        port.close();
    }
    EXPECT_EQ(fake.strayCloses.load(), 0);
}

// What a working device may report on the way: reads that pend, a queue query that fails once, error
// bits, a wait that fails. None loses a byte or stops the port.
TEST_F(WinPortFake, TheReceivePathGoesOnThroughWhatADeviceMayReport) {
    const std::function<void()> reports[] = {
        [&] { fake.readsPend = true; },
        [&] { fake.failNext(FakeComm::Call::ClearCommError, ERROR_INVALID_PARAMETER); },
        [&] { fake.lineErrors = CE_FRAME | CE_OVERRUN; },
        [&] { fake.failNext(FakeComm::Call::Wait, ERROR_INVALID_HANDLE); },
    };
    for (const auto& report : reports) {
        SCOPED_TRACE(&report - reports);
        openPort();
        report();
        // The second chunk comes once the first has been looked at: a query that failed leaves the
        // bytes for the next character event.
        const int queries = fake.queueQueries;
        fake.arrive("abc");
        ASSERT_TRUE(waitUntil([&] { return fake.queueQueries > queries && fake.waitPending(); }));
        fake.arrive("d");
        ASSERT_TRUE(waitUntil([&] { return port.bytesAvailable() == 4; }));
        char got[8] = {};
        EXPECT_EQ(port.readAll(got), 4);
        EXPECT_STREQ(got, "abcd");
        EXPECT_TRUE(port.isOpen());
        port.close();
        fake.readsPend = false;
    }
}

TEST_F(WinPortFake, TheLongestNameGoesWholeIntoTheDevicePath) {
    const std::string longest(255, 'C');
    port.setPortName((longest + "cut").c_str());
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastStatus(), SerialStatus::NotFound);
    EXPECT_EQ(fake.lastPath(), "\\\\.\\" + longest);
}

}  // namespace
