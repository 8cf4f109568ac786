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

TEST_F(SysfsPortProbeTest, MissingDirectoriesGiveAnEmptyList) {
    SysfsPortProbe probe((root / "nope").string(), (root / "nope").string(), (root / "nope").string());
    EXPECT_TRUE(probe.presentPortNames().empty());
}

}  // namespace
