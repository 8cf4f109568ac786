#include "tools/virtual_dimmer/window/dimmer_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "tests/tools/pty_writer.h"
#include "tests/tools/temp_dir.h"

namespace {

// One application for the whole run, never destroyed: Qt's own statics go first at exit.
QApplication& application() {
    static int argc = 1;
    static char name[] = "dimmer_window_tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs the event loop (and with it the window's socket notifier) until the condition holds.
template <typename Condition>
bool processEventsUntil(Condition done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

int lampBrightness(LampWidget& lamp) {
    const QImage image = lamp.grab().toImage();
    return qGray(image.pixel(image.width() / 2, image.height() / 2 + 2));
}

// A virtual dimmer and its window, shown.
class DimmerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        std::string error;
        dimmer = VirtualDimmer::start(dir.path(), "dimmer0", error);
        ASSERT_NE(dimmer, nullptr) << error;
        window = std::make_unique<DimmerWindow>(*dimmer);
        window->show();
    }

    TempDir dir;
    std::unique_ptr<VirtualDimmer> dimmer;
    std::unique_ptr<DimmerWindow> window;
};

TEST_F(DimmerWindowTest, LampsFollowTheFramesThatArriveOnThePort) {
    EXPECT_EQ(window->lastFrameText(), "Last frame: none yet");
    const int dark = lampBrightness(window->lamp(1));

    const DimmerFrame half = buildDimmerFrame(0, 0, 128);
    const DimmerFrame full = buildDimmerFrame(9, 1, 255);
    std::vector<std::uint8_t> bytes = {0x55};
    bytes.insert(bytes.end(), half.begin(), half.end());
    bytes.insert(bytes.end(), full.begin(), full.end());
    ASSERT_TRUE(writeToPort(dimmer->port().linkPath(), bytes));
    ASSERT_TRUE(processEventsUntil([&] { return dimmer->acceptedFrames() == 2; }));

    EXPECT_EQ(window->lamp(1).state().level, 128);
    EXPECT_EQ(window->lamp(9).state().level, 255);
    EXPECT_EQ(window->lamp(9).state().mode, DimmerMode::L);
    const int halfLit = lampBrightness(window->lamp(1));
    const int fullLit = lampBrightness(window->lamp(9));
    EXPECT_LT(dark + 40, halfLit);
    EXPECT_LT(halfLit + 40, fullLit);
    EXPECT_EQ(window->countsText(), "Frames: 2     Rejected bytes: 1");
    EXPECT_EQ(window->lastFrameText(), "Last frame: AA 09 01 FF 00 5D");
}

// A writer that never pauses: the window reads in bounded passes and keeps handling its other events
// (a timer here; painting and a quit request alike) in between.
TEST_F(DimmerWindowTest, StaysResponsiveUnderAFlood) {
    FrameFlood flood(dimmer->port().linkPath(), std::chrono::seconds(4));
    ASSERT_TRUE(flood.started());
    EXPECT_TRUE(processEventsUntil([&] { return dimmer->acceptedFrames() > 0; }));
    bool fired = false;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(50, [&fired] { fired = true; });
    processEventsUntil([&fired] { return fired; });
    const qint64 waited = clock.elapsed();
    EXPECT_TRUE(fired);
    EXPECT_LT(waited, 1000) << "a 50 ms timer fired after " << waited << " ms";
}

}  // namespace
