#include "serial/serial_port_base.h"

#include <gtest/gtest.h>

#include "tests/serial/recording_listener.h"
#include "tests/serial/stub_port.h"

namespace {

TEST(SerialStatus, EveryCodeHasItsMessageAndOthersAreUndefined) {
    // Codes -1 to 18, in order.
    const char* const messages[] = {"unknown error",       "success",
                                    "general error",       "not implemented error",
                                    "innet error",         "null pointer error",
                                    "invalid param error", "access denied error",
                                    "out of memory error", "timeout error",
                                    "not init error",      "init failed error",
                                    "already exist error", "not exist error",
                                    "already open error",  "not open error",
                                    "open failed error",   "close failed error",
                                    "write failed error",  "read failed error"};
    for (int code = -1; code <= 18; ++code) {
        EXPECT_STREQ(serialStatusMessage(code), messages[code + 1]) << code;
    }
    for (int code : {19, -2, 1 << 30}) {
        EXPECT_STREQ(serialStatusMessage(code), "undefined error code") << code;
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
