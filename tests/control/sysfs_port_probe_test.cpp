#include "control/sysfs_port_probe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

    std::vector<std::string> list() {
        SysfsPortProbe probe((root / "class").string(), (root / "dev").string(), (root / "ports").string());
        return probe.presentPortNames();
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

TEST_F(SysfsPortProbeTest, ListsLiveVirtualPortsAndSkipsStaleOnes) {
    std::ofstream(root / "pty").put('\0');
    fs::create_symlink(root / "pty", root / "ports" / "dimmer0");
    fs::create_symlink(root / "gone", root / "ports" / "dimmer1");
    std::ofstream(root / "ports" / "plainfile").put('\0');
    EXPECT_EQ(list(), (std::vector<std::string>{"dimmer0"}));
}

TEST_F(SysfsPortProbeTest, MissingDirectoriesGiveAnEmptyList) {
    SysfsPortProbe probe((root / "nope").string(), (root / "nope").string(), (root / "nope").string());
    EXPECT_TRUE(probe.presentPortNames().empty());
}

}  // namespace
