// The panel on a real port: the serial backend opens the virtual dimmer's pseudo-terminal, and the
// dimmer's decoder checks what reached the line.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "tests/tools/temp_dir.h"
#include "tests/ui/panel_test_support.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

int threadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return count;
}

class PanelOnPort : public ::testing::Test {
protected:
    PanelOnPort() : app(testApplication()), probe({"vdimmer-test"}) {}

    void SetUp() override {
        setenv("LUMENTA_PORT_DIR", dir.path().c_str(), 1);
        std::string error;
        dimmer = VirtualDimmer::start(dir.path(), "vdimmer-test", error);
        ASSERT_NE(dimmer, nullptr) << error;
        dimmer->onFrame([this](const DimmerFrame& frame) {
            frames.push_back(frame);
            arrivals.push_back(Clock::now());
        });
        dialog = std::make_unique<CLumentaDlg>(probe);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    // Runs the window and the dimmer side by side for a while.
    void runFor(int milliseconds) {
        processEventsUntil(
            [this] {
                dimmer->readAvailable();
                return false;
            },
            milliseconds);
    }
    bool runUntilFrames(std::size_t count, int milliseconds = 2000) {
        return processEventsUntil(
            [this, count] {
                dimmer->readAvailable();
                return frames.size() >= count;
            },
            milliseconds);
    }

    void openPort() {
        QTest::mouseClick(&dialog->portButton(), Qt::LeftButton);
        ASSERT_EQ(dialog->portButton().text(), "Close Port");
        ASSERT_FALSE(dialog->portList().isEnabled());
        ASSERT_TRUE(dialog->port().isOpen());
    }

    QApplication& app;
    TempDir dir;
    FixedPortProbe probe;
    std::unique_ptr<VirtualDimmer> dimmer;
    std::vector<DimmerFrame> frames;
    std::vector<Clock::time_point> arrivals;
    std::unique_ptr<CLumentaDlg> dialog;
};

TEST_F(PanelOnPort, ABurstOfChangesSendsOneFrame300MsAfterTheLast) {
    openPort();
    QSlider& slider = dialog->levelSlider();
    slider.setFocus();
    Clock::time_point lastChange;
    for (int step = 0; step < 5; ++step) {
        QTest::keyClick(&slider, Qt::Key_Up);
        lastChange = Clock::now();
        runFor(50);
    }
    EXPECT_TRUE(frames.empty()) << "nothing is sent while the changes follow each other";

    ASSERT_TRUE(runUntilFrames(1));
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(arrivals[0] - lastChange);
    EXPECT_GE(delay.count(), 300);
    EXPECT_LE(delay.count(), 600) << "the window's timer is late even for a loaded machine";
    EXPECT_EQ(frames[0], buildDimmerFrame(0, 0, 5)) << "channel 0 (all), mode H, the final level";

    runFor(500);
    EXPECT_EQ(frames.size(), 1u) << "one frame per burst";
    EXPECT_EQ(dimmer->rejectedBytes(), 0u);
}

TEST_F(PanelOnPort, AChannelChoiceSendsNothingAndTheNextModeChangeCarriesIt) {
    openPort();
    QTest::mouseClick(&dialog->channelButton(3), Qt::LeftButton);
    runFor(400);
    EXPECT_TRUE(frames.empty());

    QTest::mouseClick(&dialog->modeButton(DimmerMode::L), Qt::LeftButton);
    ASSERT_TRUE(runUntilFrames(1));
    EXPECT_EQ(frames[0], buildDimmerFrame(3, 1, 0));
    EXPECT_EQ(dimmer->channels().channel(3).mode, DimmerMode::L);
}

TEST_F(PanelOnPort, ClosingThePortFreesTheListAndStopsSending) {
    openPort();
    QTest::mouseClick(&dialog->portButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->portButton().text(), "Open Port");
    EXPECT_TRUE(dialog->portList().isEnabled());
    EXPECT_FALSE(dialog->port().isOpen());

    QTest::keyClick(&dialog->levelSlider(), Qt::Key_Up);
    runFor(500);
    EXPECT_TRUE(frames.empty());
}

TEST_F(PanelOnPort, AFailedOpenShowsTheWarningAndStaysClosed) {
    probe.names_ = {"no-such-port"};
    dialog->startTimer(PanelController::kPortListTimer, 10);
    ASSERT_TRUE(processEventsUntil([&] { return dialog->chosenPortName() == "no-such-port"; }));

    bool shown = false;
    whenModalOpens([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        ASSERT_NE(box, nullptr);
        shown = true;
        EXPECT_EQ(box->text(), QString::fromUtf8("串口已被占用！"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_TRUE(box->informativeText().contains("no-such-port")) << box->informativeText().toStdString();
    });
    QTest::mouseClick(&dialog->portButton(), Qt::LeftButton);

    EXPECT_TRUE(shown);
    EXPECT_EQ(dialog->portButton().text(), "Open Port");
    EXPECT_TRUE(dialog->portList().isEnabled());
    EXPECT_FALSE(dialog->controller().portOpen());
}

// The virtual dimmer ends while the port is open, and starts again under the same name: the panel
// says so once, frees the list, and one click on Open Port drives the new dimmer.
TEST_F(PanelOnPort, ADimmerThatWentAwayIsReportedOnceAndReopenedWithOneClickWhenBack) {
    probe.names_ = {"vdimmer-test", "zz-other"};
    openPort();
    MessageBoxCloser closer;
    dialog->startTimer(PanelController::kPortListTimer, 50);

    dimmer.reset();
    probe.names_ = {"zz-other"};
    ASSERT_TRUE(processEventsUntil([&] { return closer.boxes > 0; }, 5000));
    EXPECT_EQ(closer.text, QString::fromUtf8("串口已断开！"));
    EXPECT_TRUE(closer.details.startsWith("Port vdimmer-test has gone")) << closer.details.toStdString();
    EXPECT_EQ(dialog->portButton().text(), "Open Port");
    EXPECT_TRUE(dialog->portList().isEnabled());
    EXPECT_FALSE(dialog->port().isOpen());
    processEventsUntil([] { return false; }, 300);
    EXPECT_EQ(closer.boxes, 1);
    EXPECT_EQ(dialog->chosenPortName(), "zz-other");

    std::string error;
    dimmer = VirtualDimmer::start(dir.path(), "vdimmer-test", error);
    ASSERT_NE(dimmer, nullptr) << error;
    dimmer->onFrame([this](const DimmerFrame& frame) { frames.push_back(frame); });
    probe.names_ = {"vdimmer-test", "zz-other"};
    ASSERT_TRUE(processEventsUntil([&] { return dialog->chosenPortName() == "vdimmer-test"; }));
    openPort();
    QTest::keyClick(&dialog->levelSlider(), Qt::Key_Up);
    ASSERT_TRUE(runUntilFrames(1));
    EXPECT_EQ(frames[0], buildDimmerFrame(0, 0, 1));
    EXPECT_EQ(closer.boxes, 1);
}

// The window's timers run on while a modal box waits: a change made just before the About box opens
// is still sent.
TEST_F(PanelOnPort, APendingFrameIsSentWhileTheAboutBoxIsOpen) {
    openPort();
    QTest::keyClick(&dialog->levelSlider(), Qt::Key_Up);
    bool sentMeanwhile = false;
    whenModalOpens([&](QWidget&) { sentMeanwhile = runUntilFrames(1, 1000); });
    dialog->showAboutBox();
    EXPECT_TRUE(sentMeanwhile);
}

TEST_F(PanelOnPort, ClosingTheWindowWithThePortOpenReturnsPromptlyAndLeavesNoThread) {
    const int threadsBefore = threadCount();
    openPort();
    EXPECT_GT(threadCount(), threadsBefore) << "the open port runs its receive thread";

    const Clock::time_point start = Clock::now();
    dialog->close();
    dialog.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(threadCount(), threadsBefore);
}

}  // namespace
