#include "serial/port_facade.h"

#include <gtest/gtest.h>

#include "tests/serial/recording_listener.h"
#include "tests/serial/stub_port.h"

namespace {

TEST(CSerialPortFacade, WithoutAPortDoesNothingAndIsNeverOpen) {
    CSerialPortFacade facade(nullptr);
    RecordingListener listener;
    facade.connectListener(&listener);
    facade.init("COM1", 115200, 0, 8, 0, 0, 4096);
    EXPECT_FALSE(facade.open());
    EXPECT_FALSE(facade.isOpen());
    EXPECT_EQ(facade.write("abc", 3), -1);
    facade.close();
    EXPECT_EQ(facade.port(), nullptr);
    EXPECT_EQ(facade.lastStatus(), SerialStatus::NullPointer);
}

TEST(CSerialPortFacade, ForwardsToItsPortAndKeepsTheListenerOnNull) {
    auto owned = std::make_unique<StubPort>();
    StubPort* port = owned.get();
    CSerialPortFacade facade(std::move(owned));
    RecordingListener listener;
    facade.connectListener(&listener);
    facade.connectListener(nullptr);
    EXPECT_EQ(port->listener(), &listener);
    facade.init("ttyUSB0", 115200, 0, 8, 0, 0, 4096);
    EXPECT_STREQ(port->portName(), "ttyUSB0");
    EXPECT_TRUE(facade.open());
    EXPECT_TRUE(facade.isOpen());
    EXPECT_EQ(facade.write("abcdef", 6), 6);
    port->recordStatus(SerialStatus::ReadFailed);
    EXPECT_EQ(facade.lastStatus(), SerialStatus::ReadFailed);
    facade.close();
    EXPECT_FALSE(port->isOpen());
}

}  // namespace
