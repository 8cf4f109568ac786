#include "tools/virtual_dimmer/window/dimmer_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <cstdlib>

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

TEST(DimmerWindow, LampsFollowTheFramesThatArriveOnThePort) {
    application();
    TempDir dir;
    std::string error;
    auto dimmer = VirtualDimmer::start(dir.path(), "dimmer0", error);
    ASSERT_NE(dimmer, nullptr) << error;
    DimmerWindow window(*dimmer);
    window.show();

    EXPECT_EQ(window.lastFrameText(), "Last frame: none yet");
    const int dark = lampBrightness(window.lamp(1));

    const DimmerFrame half = buildDimmerFrame(0, 0, 128);
    const DimmerFrame full = buildDimmerFrame(9, 1, 255);
    std::vector<std::uint8_t> bytes = {0x55};
    bytes.insert(bytes.end(), half.begin(), half.end());
    bytes.insert(bytes.end(), full.begin(), full.end());
    ASSERT_TRUE(writeToPort(dimmer->port().linkPath(), bytes));
    ASSERT_TRUE(processEventsUntil([&] { return dimmer->acceptedFrames() == 2; }));

    EXPECT_EQ(window.lamp(1).state().level, 128);
    EXPECT_EQ(window.lamp(9).state().level, 255);
    EXPECT_EQ(window.lamp(9).state().mode, DimmerMode::L);
    const int halfLit = lampBrightness(window.lamp(1));
    const int fullLit = lampBrightness(window.lamp(9));
    EXPECT_LT(dark + 40, halfLit);
    EXPECT_LT(halfLit + 40, fullLit);
    EXPECT_EQ(window.countsText(), "Frames: 2     Rejected bytes: 1");
    EXPECT_EQ(window.lastFrameText(), "Last frame: AA 09 01 FF 00 5D");
}

}  // namespace
