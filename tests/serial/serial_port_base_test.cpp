#include "serial/serial_port_base.h"

#include <gtest/gtest.h>

#include "tests/serial/recording_listener.h"
#include "tests/serial/stub_port.h"

namespace {

TEST(SerialStatus, EveryCodeHasItsMessageAndOthersAreUndefined) {
    const std::pair<int, const char*> table[] = {
        {-1, "unknown error"},
        {0, "success"},
        {1, "general error"},
        {2, "not implemented error"},
        {3, "innet error"},
        {4, "null pointer error"},
        {5, "invalid param error"},
        {6, "access denied error"},
        {7, "out of memory error"},
        {8, "timeout error"},
        {9, "not init error"},
        {10, "init failed error"},
        {11, "already exist error"},
        {12, "not exist error"},
        {13, "already open error"},
        {14, "not open error"},
        {15, "open failed error"},
        {16, "close failed error"},
        {17, "write failed error"},
        {18, "read failed error"},
        {19, "undefined error code"},
        {-2, "undefined error code"},
        {1 << 30, "undefined error code"},
    };
    for (const auto& [code, message] : table) {
        EXPECT_STREQ(serialStatusMessage(code), message) << code;
    }
}

TEST(CSerialPortBase, StartsWithSuccessDelay50AndThreshold1) {
    StubPort port;
    EXPECT_EQ(port.lastStatus(), SerialStatus::Success);
    EXPECT_STREQ(port.lastStatusMessage(), "success");
    EXPECT_EQ(port.readNotifyDelay(), 50u);
    EXPECT_EQ(port.readThreshold(), 1u);
    EXPECT_EQ(port.ioMode(), IoMode::Asynchronous);
    EXPECT_EQ(port.listener(), nullptr);
}

TEST(CSerialPortBase, TellsTheListenerDirectlyWithDelayZeroOrLaterThroughTheNotifier) {
    StubPort port;
    RecordingListener listener;
    port.open();
    port.tellListener("COM9", 3);  // no listener: nobody told, nothing breaks
    port.setListener(&listener);
    port.setReadNotifyDelay(0);
    port.tellListener("COM9", 5);
    ASSERT_EQ(listener.calls().size(), 1u);
    EXPECT_EQ(listener.calls()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(listener.calls()[0].byteCount, 5u);

    port.setReadNotifyDelay(1000);  // so long that the two below are one burst, however busy the machine
    port.tellListener("COM9", 6);
    port.tellListener("COM9", 8);
    ASSERT_TRUE(listener.waitForCalls(2));
    EXPECT_EQ(listener.calls()[1].portName, "COM9");
    EXPECT_EQ(listener.calls()[1].byteCount, 8u);
    EXPECT_NE(listener.calls()[1].thread, std::this_thread::get_id());

    // Closed: nobody is told, directly or later.
    port.close();
    port.setReadNotifyDelay(0);
    port.tellListener("COM9", 9);
    EXPECT_EQ(listener.calls().size(), 2u);
}

}  // namespace
