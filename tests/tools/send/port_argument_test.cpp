// Which --port values lumenta-send accepts: only ports the panel would list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/send/port_argument.h"

namespace {

class FixedProbe : public PortProbe {
public:
    explicit FixedProbe(std::vector<std::string> names) : names_(std::move(names)) {}
    std::vector<std::string> presentPortNames() override { return names_; }
    std::string portDescription(const std::string& name) override {
        return name == "COM3" ? "USB Serial Port" : name == "COM10" ? "Prolific USB-to-Serial Comm Port" : "";
    }

private:
    std::vector<std::string> names_;
};

const PortNaming kLinux{"/dev/", false, nullptr};
const PortNaming kWindows{"\\\\.\\", true, nullptr};

TEST(PortArgument, ListsInThePanelsTextOrderWithTheDevicesNames) {
    FixedProbe probe({"COM3", "COM10", "COM2", "COM3"});
    EXPECT_EQ(listedPorts(probe), (std::vector<std::string>{"COM10", "COM2", "COM3"}));
    // What --list prints: the names first, the devices' names in a column after them.
    EXPECT_EQ(listedPortsText(probe),
              "COM10  Prolific USB-to-Serial Comm Port\n"
              "COM2\n"
              "COM3   USB Serial Port\n");
}

TEST(PortArgument, LinuxTakesTheNameOrItsDevicePath) {
    const std::vector<std::string> listed{"ttyS0", "ttyUSB0", "vdimmer0"};
    EXPECT_EQ(findListedPort("ttyUSB0", listed, kLinux), "ttyUSB0");
    EXPECT_EQ(findListedPort("/dev/ttyUSB0", listed, kLinux), "ttyUSB0");
    EXPECT_EQ(findListedPort("vdimmer0", listed, kLinux), "vdimmer0");
}

TEST(PortArgument, LinuxRefusesWhatThePanelWouldNotOffer) {
    const std::vector<std::string> listed{"ttyS0", "ttyUSB0"};
    for (const char* name : {"ttyusb0", "tty", "/dev/tty", "/dev/console", "/dev/", "/dev/../dev/ttyUSB0",
                             "dev/ttyUSB0", "ttyUSB0 ", "/tmp/ttyUSB0", "ttyUSB"}) {
        EXPECT_FALSE(findListedPort(name, listed, kLinux)) << name;
    }
    EXPECT_FALSE(findListedPort("ttyS0", {}, kLinux));
}

TEST(PortArgument, LinuxFollowsALinkToAListedDevice) {
    PortNaming naming = kLinux;
    naming.deviceBehind = [](const std::string& given) {
        return given == "/dev/serial/by-id/usb-FTDI-if00-port0" ? "ttyUSB0"
               : given == "/dev/lumenta-console"                ? "console"
                                                                : "";
    };
    const std::vector<std::string> listed{"ttyS0", "ttyUSB0"};
    EXPECT_EQ(findListedPort("/dev/serial/by-id/usb-FTDI-if00-port0", listed, naming), "ttyUSB0");
    EXPECT_FALSE(findListedPort("/dev/lumenta-console", listed, naming)) << "leads to an unlisted device";
    EXPECT_FALSE(findListedPort("/dev/serial/by-id/other", listed, naming));
}

TEST(PortArgument, LinuxLinksAreFollowedOnlyToDevicesInDev) {
    const PortNaming naming = systemPortNaming();
#ifndef _WIN32
    ASSERT_TRUE(naming.deviceBehind);
    EXPECT_EQ(naming.deviceBehind("/etc/passwd"), "");
    EXPECT_EQ(naming.deviceBehind("/dev/null"), "null");
    EXPECT_EQ(naming.deviceBehind("/dev/../etc/passwd"), "") << "leads out of /dev";
#else
    EXPECT_FALSE(naming.deviceBehind);
#endif
}

TEST(PortArgument, WindowsIgnoresCaseAndTheDevicePrefix) {
    const std::vector<std::string> listed{"COM1", "COM10", "COM3"};
    EXPECT_EQ(findListedPort("COM3", listed, kWindows), "COM3");
    EXPECT_EQ(findListedPort("com10", listed, kWindows), "COM10");
    EXPECT_EQ(findListedPort("\\\\.\\com1", listed, kWindows), "COM1");
    for (const char* name : {"COM2", "COM", "COM1:", "NUL", "CON", "\\\\.\\", "\\\\?\\COM1", "COM01"}) {
        EXPECT_FALSE(findListedPort(name, listed, kWindows)) << name;
    }
}

}  // namespace
