// The panel follows the devices at once, with its 5 s rescan stopped: a dimmer's end shows the
// lost-port box, a dimmer's start and an adapter udev tells of show in the list. The port list is the
// system's own probe on directories of the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QMessageBox>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>

#include "control/sysfs_port_probe.h"
#include "tests/tools/temp_dir.h"
#include "tests/ui/panel_test_support.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"
#include "ui/linux/udev_tty_monitor.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Plays udev where no udev daemon runs: each action played waits on the monitor's descriptor.
class PlayedUdev : public UdevTtyMonitor::Calls {
public:
    ~PlayedUdev() override {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    int openMonitor(const char* subsystem) override {
        this->subsystem = subsystem;
        return pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) == 0 ? pipe_[0] : -1;
    }
    std::string receiveAction() override {
        char byte;
        if (read(pipe_[0], &byte, 1) != 1) {
            return {};
        }
        const std::string action = actions_.front();
        actions_.pop_front();
        return action;
    }
    void play(const std::string& action) {
        actions_.push_back(action);
        ASSERT_EQ(write(pipe_[1], "x", 1), 1);
    }

    std::string subsystem;

private:
    int pipe_[2] = {-1, -1};
    std::deque<std::string> actions_;
};

class LivePorts : public ::testing::Test {
protected:
    LivePorts() : app(testApplication()), probe(classDir.path(), deviceDir.path(), portDir.path()) {}

    void SetUp() override {
        setenv("LUMENTA_PORT_DIR", portDir.path().c_str(), 1);
        dialog = std::make_unique<CLumentaDlg>(probe);
        // Only news can change the list from here on.
        dialog->stopTimer(PanelController::kPortListTimer);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    void startDimmer() {
        std::string error;
        dimmer = VirtualDimmer::start(portDir.path(), "vdimmer-live", error);
        ASSERT_NE(dimmer, nullptr) << error;
    }

    // Milliseconds from now until the condition holds (printed), or -1 past a generous bound.
    long long millisecondsUntil(const char* what, const std::function<bool()>& done) {
        const Clock::time_point from = Clock::now();
        if (!processEventsUntil(done, 3000)) {
            return -1;
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
        std::printf("[ figure   ] %s: %lld ms\n", what, static_cast<long long>(ms));
        return ms;
    }

    bool listed(const std::string& name) { return dialog->findPortName(name) >= 0; }

    QApplication& app;
    TempDir classDir;
    TempDir deviceDir;
    TempDir portDir;
    SysfsPortProbe probe;
    std::unique_ptr<VirtualDimmer> dimmer;
    std::unique_ptr<CLumentaDlg> dialog;
};

TEST_F(LivePorts, ADimmerIsListedAtOnceAndItsEndShowsTheLostPortBoxAtOnceAndOnce) {
    const long long listedMs = millisecondsUntil("dimmer started to listed", [&] {
        if (!dimmer) {
            startDimmer();
        }
        return listed("vdimmer-live");
    });
    EXPECT_TRUE(listedMs >= 0 && listedMs < 1000) << listedMs;
    EXPECT_EQ(dialog->chosenPortName(), "vdimmer-live");
    EXPECT_EQ(dialog->portList().descriptionAt(0), "virtual dimmer");

    QTest::mouseClick(&dialog->portButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog->port().isOpen());
    MessageBoxCloser closer;
    const long long lostMs = millisecondsUntil("dimmer ended to the lost-port box", [&] {
        dimmer.reset();
        return closer.boxes > 0;
    });
    EXPECT_TRUE(lostMs >= 0 && lostMs < 1000) << lostMs;
    EXPECT_EQ(closer.text, QString::fromUtf8("串口已断开！"));
    EXPECT_EQ(dialog->portButton().text(), "Open Port");
    EXPECT_TRUE(processEventsUntil([&] { return dialog->portNameCount() == 0; }, 3000))
        << "and it left the list";
    EXPECT_EQ(closer.boxes, 1);

    // The directory removed: it is made and watched again, and the next dimmer is news as the first.
    fs::remove_all(portDir.path());
    ASSERT_TRUE(processEventsUntil([&] { return fs::exists(portDir.path()); }, 3000));
    startDimmer();
    EXPECT_TRUE(processEventsUntil([&] { return listed("vdimmer-live"); }, 3000));
}

// An adapter plugged in and pulled out, as udev tells of it.
TEST_F(LivePorts, AnAdapterUdevTellsOfIsListedAtOnceAndGoesAtOnce) {
    auto calls = std::make_unique<PlayedUdev>();
    PlayedUdev& udev = *calls;
    dialog->watchPortEvents(std::make_unique<UdevTtyMonitor>(std::move(calls)));
    EXPECT_EQ(udev.subsystem, "tty");

    fs::create_directories(fs::path(classDir.path()) / "ttyUSB7" / "device");
    std::ofstream(fs::path(deviceDir.path()) / "ttyUSB7");
    udev.play("change");
    processEventsUntil([] { return false; }, 300);
    EXPECT_FALSE(listed("ttyUSB7")) << "a change of a node's attributes is no news";
    udev.play("add");
    EXPECT_GE(millisecondsUntil("udev's news to listed", [&] { return listed("ttyUSB7"); }), 0);

    fs::remove(fs::path(deviceDir.path()) / "ttyUSB7");
    udev.play("remove");
    EXPECT_TRUE(processEventsUntil([&] { return !listed("ttyUSB7"); }, 3000));
}

}  // namespace
