#include "control/sysfs_port_probe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "common/published_port.h"

namespace fs = std::filesystem;

namespace {

// A made-up kernel tree: class entries, device nodes and a virtual-port directory in a temporary folder.
class SysfsPortProbeTest : public ::testing::Test {
protected:
    SysfsPortProbeTest() : root(fs::temp_directory_path() / ("lumenta-sysfs-" + std::to_string(getpid()))) {
        fs::remove_all(root);
        fs::create_directories(root / "class");
        fs::create_directories(root / "dev");
        fs::create_directories(root / "ports");
        fs::create_directories(root / "hw");
    }
    ~SysfsPortProbeTest() override { fs::remove_all(root); }

    // A tty with hardware behind it; uartType < 0 writes no type attribute.
    void addTty(const std::string& name, bool withDevice, int uartType = -1, bool withNode = true) {
        const fs::path entry = root / "class" / name;
        fs::create_directories(entry);
        if (withDevice) {
            fs::create_directory_symlink(root / "hw", entry / "device");
        }
        if (uartType >= 0) {
            std::ofstream(entry / "type") << uartType << "\n";
        }
        if (withNode) {
            std::ofstream(root / "dev" / name).put('\0');
        }
    }

    std::vector<std::string> list() { return probe().presentPortNames(); }
    SysfsPortProbe probe() {
        return SysfsPortProbe((root / "class").string(), (root / "dev").string(), (root / "ports").string());
    }

    // A tty laid out as the kernel lays it out: its class entry a link into the device tree, in a
    // folder "tty" below its device, which links back up to it; the device names its driver.
    void addDeviceTty(const std::string& name, const fs::path& deviceDir, const std::string& driver) {
        const fs::path device = root / "devices" / deviceDir;
        fs::create_directories(device / "tty" / name);
        fs::create_directories(root / "bus" / "drivers" / driver);
        fs::create_directory_symlink(root / "bus" / "drivers" / driver, device / "driver");
        fs::create_directory_symlink(fs::path("../../..") / device.filename(),
                                     device / "tty" / name / "device");
        fs::create_directory_symlink(fs::path("..") / "devices" / deviceDir / "tty" / name,
                                     root / "class" / name);
        std::ofstream(root / "dev" / name).put('\0');
    }
    void writeAttribute(const fs::path& deviceDir, const std::string& attribute, const std::string& value) {
        std::ofstream(root / "devices" / deviceDir / attribute) << value << "\n";
    }

    fs::path root;
};

TEST_F(SysfsPortProbeTest, ListsRealSerialDevicesOnly) {
    addTty("ttyUSB0", true);
    addTty("ttyACM1", true);
    addTty("ttyS0", true, 4);            // a 16550A answers
    addTty("ttyS1", true, 0);            // a legacy node with no chip behind it
    addTty("tty3", false);               // a virtual console
    addTty("ttyUSB9", true, -1, false);  // known to the kernel but no node to open
    EXPECT_EQ(list(), (std::vector<std::string>{"ttyACM1", "ttyS0", "ttyUSB0"}));
}

// Only ports whose publisher lives are listed: a link left by a dimmer that was killed (its lock is
// free) may lead to a terminal that has gone to another program. A name that is an entry of the
// device directory is hidden: the port would stand for the device.
TEST_F(SysfsPortProbeTest, ListsLiveVirtualPortsOnly) {
    std::ofstream(root / "pty").put('\0');
    std::ofstream(root / "dev" / "null").put('\0');
    std::vector<std::unique_ptr<PublishedPort>> live;
    for (const char* name : {"dimmer0", "null"}) {
        std::string error;
        live.push_back(
            PublishedPort::publish((root / "ports").string(), name, (root / "pty").string(), error));
        ASSERT_TRUE(live.back()) << error;
    }
    {
        std::string error;
        auto killed =
            PublishedPort::publish((root / "ports").string(), "killed", (root / "pty").string(), error);
        ASSERT_TRUE(killed) << error;
        killed.reset();
    }
    fs::create_symlink(root / "pty", root / "ports" / "killed");  // as a killed run leaves it, lock free
    fs::create_symlink(root / "pty", root / "ports" / "nolock");
    std::ofstream(root / "ports" / "plainfile").put('\0');
    EXPECT_EQ(list(), (std::vector<std::string>{"dimmer0"}));
}

// A directory that another user owns or may write to lists nothing, whatever it holds.
TEST_F(SysfsPortProbeTest, ListsNothingFromADirectoryAnotherUserCouldChange) {
    std::ofstream(root / "pty").put('\0');
    std::string error;
    auto live = PublishedPort::publish((root / "ports").string(), "dimmer0", (root / "pty").string(), error);
    ASSERT_TRUE(live) << error;
    ASSERT_EQ(list(), (std::vector<std::string>{"dimmer0"}));
    fs::permissions(root / "ports", fs::perms::others_write, fs::perm_options::add);
    EXPECT_TRUE(list().empty());
    if (geteuid() == 0) {
        fs::permissions(root / "ports", fs::perms::others_write, fs::perm_options::remove);
        ASSERT_EQ(chown((root / "ports").c_str(), 4242, 4242), 0);
        EXPECT_TRUE(list().empty());
    }
}

// Attributes as an FTDI FT232R adapter, an STM32 board on cdc_acm and the PC's own UARTs show them.
TEST_F(SysfsPortProbeTest, DescribesUsbAdaptersByManufacturerAndProductAndOthersByDriver) {
    const fs::path ftdi = "pci0000:00/0000:00:14.0/usb1/1-1";
    addDeviceTty("ttyUSB0", ftdi / "1-1:1.0" / "ttyUSB0", "ftdi_sio");
    writeAttribute(ftdi, "idVendor", "0403");
    writeAttribute(ftdi, "manufacturer", "FTDI");
    writeAttribute(ftdi, "product", "FT232R USB UART");
    writeAttribute(ftdi / "1-1:1.0", "interface", "FT232R USB UART");

    const fs::path acm = "pci0000:00/0000:00:14.0/usb1/1-2";
    addDeviceTty("ttyACM0", acm / "1-2:1.0", "cdc_acm");
    writeAttribute(acm, "idVendor", "0483");
    writeAttribute(acm, "manufacturer", "STMicroelectronics");
    writeAttribute(acm, "product", "STM32 Virtual ComPort");

    // A device that names itself with control characters, at length, gets them blanked and cut.
    const fs::path odd = "pci0000:00/0000:00:14.0/usb1/1-3";
    addDeviceTty("ttyUSB1", odd / "1-3:1.0" / "ttyUSB1", "ch341-uart");
    writeAttribute(odd, "idVendor", "1a86");
    writeAttribute(odd, "product", "Serial\x1b[2J\t" + std::string(100, 'x'));

    // A USB device that names nothing is known by its driver, like the UART.
    const fs::path bare = "pci0000:00/0000:00:14.0/usb1/1-4";
    addDeviceTty("ttyUSB2", bare / "1-4:1.0" / "ttyUSB2", "pl2303");
    writeAttribute(bare, "idVendor", "067b");

    addDeviceTty("ttyS0", "platform/serial8250", "serial8250");
    std::ofstream(root / "class" / "ttyS0" / "type") << "4\n";
    // Since Linux 6.5 the UART's tty hangs below a port and a controller of the serial core.
    addDeviceTty("ttyS1", "pnp0/00:00/00:00:0/00:00:0.0", "port");
    fs::create_directories(root / "bus" / "drivers" / "serial");
    fs::create_directory_symlink(root / "bus" / "drivers" / "serial",
                                 root / "devices" / "pnp0" / "00:00" / "driver");
    for (const char* serialBase : {"00:00/00:00:0", "00:00/00:00:0/00:00:0.0"}) {
        fs::create_directory_symlink(root / "bus" / "serial-base",
                                     root / "devices" / "pnp0" / serialBase / "subsystem");
    }

    std::ofstream(root / "pty").put('\0');
    std::string error;
    auto dimmer =
        PublishedPort::publish((root / "ports").string(), "vdimmer", (root / "pty").string(), error);
    ASSERT_TRUE(dimmer) << error;

    EXPECT_EQ(list(), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyUSB2",
                                                "vdimmer"}));
    SysfsPortProbe probe = this->probe();
    EXPECT_EQ(probe.portDescription("ttyUSB0"), "FTDI FT232R USB UART");
    EXPECT_EQ(probe.portDescription("ttyACM0"), "STMicroelectronics STM32 Virtual ComPort");
    EXPECT_EQ(probe.portDescription("ttyUSB1"), "Serial [2J " + std::string(53, 'x'));
    EXPECT_EQ(probe.portDescription("ttyUSB2"), "pl2303");
    EXPECT_EQ(probe.portDescription("ttyS0"), "serial8250");
    EXPECT_EQ(probe.portDescription("ttyS1"), "serial");
    EXPECT_EQ(probe.portDescription("vdimmer"), "virtual dimmer");
    EXPECT_EQ(probe.portDescription("ttyUSB9"), "");
    EXPECT_EQ(probe.portDescription("../class/ttyUSB0"), "");
}

TEST_F(SysfsPortProbeTest, MissingDirectoriesGiveAnEmptyList) {
    SysfsPortProbe probe((root / "nope").string(), (root / "nope").string(), (root / "nope").string());
    EXPECT_TRUE(probe.presentPortNames().empty());
}

}  // namespace
