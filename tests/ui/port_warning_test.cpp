#include "ui/qt/port_warning.h"

#include <gtest/gtest.h>

namespace {

TEST(PortWarning, ExplainsThePermissionFixOnlyForARefusedPermission) {
    const QString refused = portWarningDetails("ttyUSB0", SerialStatus::AccessDenied, "access denied", true);
    EXPECT_TRUE(refused.contains("dialout"));
    EXPECT_TRUE(refused.contains("ttyUSB0"));

    const QString busy = portWarningDetails("ttyUSB0", SerialStatus::AccessDenied, "access denied", false);
    EXPECT_FALSE(busy.contains("dialout"));
    EXPECT_TRUE(busy.contains("in use"));

    EXPECT_TRUE(portWarningDetails("ttyUSB9", SerialStatus::NotFound, "not exist error", false)
                    .startsWith("ttyUSB9 is not there any more"));
    EXPECT_EQ(portWarningDetails("ttyUSB9", SerialStatus::OpenFailed, "open failed", false),
              "ttyUSB9: the port reports \"open failed\".");
    EXPECT_TRUE(
        portWarningDetails("", SerialStatus::InvalidParam, "invalid", false).contains("No serial port"));
    EXPECT_TRUE(portWarningDetails("ttyS0", SerialStatus::Success, "success", false).isEmpty());
}

TEST(PortWarning, SaysWhetherALostPortsDeviceHasGoneOrFailed) {
    EXPECT_TRUE(portLostDetails("vdimmer", SerialStatus::ReadFailed, "read failed", false)
                    .startsWith("vdimmer has gone"));
    EXPECT_EQ(
        portLostDetails("ttyUSB0", SerialStatus::WriteFailed, "write failed", true),
        "ttyUSB0 stopped answering: the port reports \"write failed\". Press Open Port to open it again.");
    EXPECT_FALSE(portDevicePresent("no-such-port-here"));
    EXPECT_FALSE(portDevicePresent("../dev/null"));
    EXPECT_TRUE(portDevicePresent("null"));
}

}  // namespace
