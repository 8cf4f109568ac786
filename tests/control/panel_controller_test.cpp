#include "control/panel_controller.h"

#include <gtest/gtest.h>

#include "tests/control/fake_panel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameBytes(std::uint8_t channel, DimmerMode mode, std::uint8_t level) {
    const DimmerFrame f = buildDimmerFrame(channel, static_cast<std::uint8_t>(mode), level);
    return Bytes(f.begin(), f.end());
}

class PanelControllerTest : public ::testing::Test {
protected:
    PanelControllerTest() : controller(view, port, probe) { probe.names = {"COM3", "COM10"}; }

    void start() { controller.onInit(); }

    void openPort() {
        controller.onPortButton();
        ASSERT_TRUE(controller.portOpen());
    }

    // The window's timer 2 expiring.
    void fireSendDelay() {
        ASSERT_TRUE(view.timerRunning(PanelController::kSendDelayTimer));
        controller.onTimer(PanelController::kSendDelayTimer);
    }

    // Slider position for a level: the minimum of the slider is at the top.
    void slideTo(int level) { controller.onLevelScroll(true, 255 - level); }

    FakePanelView view;
    FakePanelPort port;
    FixedProbe probe;
    PanelController controller;
};

TEST_F(PanelControllerTest, StartsWithChannelZeroLevelZeroModeHAndTheRefreshTimer) {
    start();
    EXPECT_EQ(controller.channel(), 0);
    EXPECT_EQ(controller.level(), 0);
    EXPECT_EQ(controller.mode(), DimmerMode::H);
    EXPECT_FALSE(controller.portOpen());
    EXPECT_EQ(view.channelCaption, "CH");  // not "ALL CH", although channel 0 is selected
    EXPECT_EQ(view.levelText, "0");
    EXPECT_TRUE(view.faceColours.empty());
    EXPECT_EQ(view.entries, (std::vector<std::string>{"COM10", "COM3"}));
    EXPECT_EQ(view.chosenPortName(), "COM3");
    EXPECT_EQ(view.runningTimers, (std::map<unsigned, unsigned>{{1, 5000}}));
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(port.initCalls + port.openCalls, 0);
}

TEST_F(PanelControllerTest, RebuildsKeepTheUsersChoiceWhileItIsListed) {
    start();
    view.choose("COM10");
    probe.names = {"COM3", "COM10", "COM7"};
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.entries, (std::vector<std::string>{"COM10", "COM3", "COM7"}));
    EXPECT_EQ(view.chosenPortName(), "COM10");

    // Gone: the last entry, as at start. Back: the user's choice again.
    probe.names = {"COM3", "COM7"};
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.chosenPortName(), "COM7");
    probe.names = {"COM3", "COM10", "COM7"};
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.chosenPortName(), "COM10");

    // A choice made while it was gone replaces it.
    probe.names = {"COM3", "COM7"};
    controller.onTimer(PanelController::kPortListTimer);
    view.choose("COM3");
    probe.names = {"COM3", "COM10", "COM7"};
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.chosenPortName(), "COM3");

    probe.names.clear();
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_TRUE(view.entries.empty());
    EXPECT_EQ(view.chosenPortName(), "");
}

TEST_F(PanelControllerTest, TheOpenPortStaysChosenAndNoRebuildHappensWhileTheListIsDroppedDown) {
    start();
    view.choose("COM10");
    openPort();
    probe.names = {"COM3", "COM10", "COM9"};
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.chosenPortName(), "COM10");
    controller.onPortButton();

    const int rebuilds = view.rebuilds;
    view.droppedDown = true;
    probe.names = {"COM4"};
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.rebuilds, rebuilds);
    view.droppedDown = false;
    view.choose("COM3");
    controller.onPortListCloseUp();
    EXPECT_EQ(view.entries, std::vector<std::string>{"COM4"});
    EXPECT_EQ(view.chosenPortName(), "COM4");
    controller.onPortListCloseUp();  // nothing was missed this time
    EXPECT_EQ(view.rebuilds, rebuilds + 1);
}
// News of devices coming and going: a burst of it gives one rebuild, a short while after the first.
TEST_F(PanelControllerTest, NewsOfChangedPortsRebuildsTheListOnceShortlyAfter) {
    start();
    view.choose("COM10");
    const int rebuilds = view.rebuilds;
    probe.names = {"COM3", "COM10", "COM4", "COM5", "COM6", "COM7"};
    for (int news = 0; news < 4; ++news) {
        controller.onPortsChanged();
    }
    EXPECT_EQ(view.rebuilds, rebuilds) << "not at once";
    EXPECT_EQ(view.runningTimers[PanelController::kPortsChangedTimer], 100u);
    EXPECT_EQ(view.timerStarts, 2) << "the list timer, then one start for the whole burst";
    controller.onTimer(PanelController::kPortsChangedTimer);
    EXPECT_EQ(view.rebuilds, rebuilds + 1);
    EXPECT_EQ(view.entries.size(), 6u);
    EXPECT_EQ(view.chosenPortName(), "COM10");
    EXPECT_FALSE(view.timerRunning(PanelController::kPortsChangedTimer));
    EXPECT_TRUE(view.timerRunning(PanelController::kPortListTimer)) << "the fallback goes on";

    // Later news starts a new round; while the drop-down is open the rebuild waits for its close-up.
    view.droppedDown = true;
    controller.onPortsChanged();
    controller.onTimer(PanelController::kPortsChangedTimer);
    EXPECT_EQ(view.rebuilds, rebuilds + 1);
    view.droppedDown = false;
    controller.onPortListCloseUp();
    EXPECT_EQ(view.rebuilds, rebuilds + 2);
}

TEST_F(PanelControllerTest, ChannelButtonsRecolourAllThenTheChosenOneAndSetTheCaption) {
    start();
    controller.onChannelButton(2007);
    ASSERT_EQ(view.faceColours.size(), 26u);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(view.faceColours[i].first, i);
        EXPECT_EQ(view.faceColours[i].second, PanelController::kNormalFaceColour);
    }
    EXPECT_EQ(view.faceColours[25].first, 7);
    EXPECT_EQ(view.faceColours[25].second, (Colour{50, 10, 150}));
    EXPECT_EQ(view.channelCaption, "CH7");
    EXPECT_EQ(view.levelText, "0");

    view.faceColours.clear();
    controller.onChannelButton(2000);
    EXPECT_EQ(view.faceColours.back().first, 0);
    EXPECT_EQ(view.channelCaption, "ALL CH");
    controller.onChannelButton(2024);
    EXPECT_EQ(view.channelCaption, "CH24");
    EXPECT_EQ(controller.channel(), 24);
}

TEST_F(PanelControllerTest, OutOfRangeChannelCommandsAreIgnoredOrClamped) {
    start();
    controller.onChannelButton(1999);
    EXPECT_TRUE(view.faceColours.empty());
    EXPECT_EQ(controller.channel(), 0);
    controller.onChannelButton(2025);
    EXPECT_EQ(controller.channel(), 24);
    // Far beyond the grid the channel must not wrap round to a small number.
    controller.onChannelButton(2256);
    EXPECT_EQ(controller.channel(), 24);
    EXPECT_EQ(view.channelCaption, "CH24");
}

TEST_F(PanelControllerTest, SliderIsInvertedAndShowsTheLevel) {
    start();
    controller.onLevelScroll(true, 0);
    EXPECT_EQ(controller.level(), 255);
    EXPECT_EQ(view.levelText, "255");
    controller.onLevelScroll(true, 255);
    EXPECT_EQ(controller.level(), 0);
    EXPECT_EQ(view.levelText, "0");
    controller.onLevelScroll(true, 127);
    EXPECT_EQ(view.levelText, "128");
    // A notification from another control changes no level but shows the texts again.
    view.levelText.clear();
    controller.onLevelScroll(false, 3);
    EXPECT_EQ(controller.level(), 128);
    EXPECT_EQ(view.levelText, "128");
}

TEST_F(PanelControllerTest, ChangesWhileClosedSendNothingNotEvenAfterOpening) {
    start();
    slideTo(200);
    controller.onModeL();
    EXPECT_FALSE(view.timerRunning(PanelController::kSendDelayTimer));
    openPort();
    EXPECT_FALSE(view.timerRunning(PanelController::kSendDelayTimer));
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(PanelControllerTest, OpeningUsesTheChosenNameAnd115200EightNOne) {
    start();
    openPort();
    EXPECT_EQ(port.initName, "COM3");
    EXPECT_EQ(port.initNumbers, (std::vector<std::int32_t>{115200, 0, 8, 0, 0, 4096}));
    EXPECT_EQ(view.portButtonCaption, "Close Port");
    EXPECT_FALSE(view.portListEnabled);
    EXPECT_TRUE(view.warnings.empty());

    controller.onPortButton();
    EXPECT_EQ(port.closeCalls, 1);
    EXPECT_FALSE(controller.portOpen());
    EXPECT_EQ(view.portButtonCaption, "Open Port");
    EXPECT_TRUE(view.portListEnabled);
}

TEST_F(PanelControllerTest, AFailedOpenWarnsAndStaysClosedAndTheNextClickTriesAgain) {
    start();
    port.opens = false;
    controller.onPortButton();
    EXPECT_FALSE(controller.portOpen());
    EXPECT_EQ(view.portButtonCaption, "Open Port");
    EXPECT_TRUE(view.portListEnabled);
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_EQ(view.warnings[0],
              "\xE4\xB8\xB2\xE5\x8F\xA3\xE5\xB7\xB2\xE8\xA2\xAB\xE5\x8D\xA0\xE7\x94\xA8\xEF\xBC\x81");

    view.selectPortName(0);
    port.opens = true;
    controller.onPortButton();
    EXPECT_TRUE(controller.portOpen());
    EXPECT_EQ(port.initName, "COM10");
    EXPECT_EQ(port.initCalls, 2);
}

TEST_F(PanelControllerTest, WithAnEmptyListTheOpenGetsAnEmptyNameAndWarns) {
    probe.names.clear();
    start();
    port.opens = false;
    controller.onPortButton();
    EXPECT_EQ(port.initName, "");
    EXPECT_EQ(view.warnings.size(), 1u);
}

TEST_F(PanelControllerTest, ABurstOfChangesSendsOneFrameWithTheFinalValues) {
    start();
    openPort();
    for (int level = 0; level <= 255; level += 5) {
        slideTo(level);
        EXPECT_TRUE(port.writes.empty());
    }
    slideTo(255);
    controller.onModeL();
    EXPECT_EQ(view.runningTimers[PanelController::kSendDelayTimer], 300u);
    fireSendDelay();
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], frameBytes(0, DimmerMode::L, 255));
    EXPECT_FALSE(view.timerRunning(PanelController::kSendDelayTimer));
}

TEST_F(PanelControllerTest, ChoosingAChannelSendsNothingButADueFrameCarriesIt) {
    start();
    openPort();
    const int startsBefore = view.timerStarts;
    controller.onChannelButton(2005);
    EXPECT_EQ(view.timerStarts, startsBefore);
    EXPECT_FALSE(view.timerRunning(PanelController::kSendDelayTimer));

    slideTo(128);
    controller.onChannelButton(2012);  // within the delay
    fireSendDelay();
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], frameBytes(12, DimmerMode::H, 128));
}

TEST_F(PanelControllerTest, ClickingTheCurrentModeResendsTheFrame) {
    start();
    openPort();
    controller.onModeH();
    fireSendDelay();
    controller.onModeH();
    fireSendDelay();
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[0], frameBytes(0, DimmerMode::H, 0));
    EXPECT_EQ(port.writes[1], port.writes[0]);
}

TEST_F(PanelControllerTest, OnlyTheSendDelayTimerSends) {
    start();
    openPort();
    controller.onTimer(PanelController::kPortListTimer);
    controller.onTimer(7);
    controller.onPortButton();
    controller.onPortButton();
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(PanelControllerTest, ClosingWithASendPendingLetsTheWriteFailSilently) {
    start();
    openPort();
    slideTo(10);
    controller.onPortButton();  // close
    fireSendDelay();
    EXPECT_EQ(port.refusedWrites, 1);
    EXPECT_TRUE(view.warnings.empty());
    EXPECT_FALSE(controller.portOpen());
}

// The device behind the open port went away (unplugged, or its program ended): the port reports
// closed while the panel still holds it open.
class LostPortTest : public PanelControllerTest {
protected:
    void loseThePort() {
        openPort();
        port.open_ = false;
    }

    void expectClosedWithOneMessage() {
        EXPECT_FALSE(controller.portOpen());
        EXPECT_EQ(port.closeCalls, 1) << "the lost device is released";
        EXPECT_EQ(view.portButtonCaption, "Open Port");
        EXPECT_TRUE(view.portListEnabled);
        ASSERT_EQ(view.warnings.size(), 1u);
        EXPECT_EQ(view.warnings[0],
                  "\xE4\xB8\xB2\xE5\x8F\xA3\xE5\xB7\xB2\xE6\x96\xAD\xE5\xBC\x80\xEF\xBC\x81");

        // Nothing more is said at later ticks and writes, and one click opens the same port again.
        controller.onTimer(PanelController::kPortListTimer);
        slideTo(40);
        EXPECT_FALSE(view.timerRunning(PanelController::kSendDelayTimer));
        controller.onPortButton();
        EXPECT_TRUE(controller.portOpen());
        EXPECT_EQ(port.initName, "COM3");
        EXPECT_EQ(view.warnings.size(), 1u);
    }
};

TEST_F(LostPortTest, IsNoticedAtTheNextTickOfTheListTimer) {
    start();
    loseThePort();
    probe.names = {"COM10"};  // gone from the list too
    controller.onTimer(PanelController::kPortListTimer);
    EXPECT_EQ(view.chosenPortName(), "COM10");
    probe.names = {"COM3", "COM10"};  // and back under the same name
    expectClosedWithOneMessage();
}

TEST_F(LostPortTest, IsNoticedAtOnceWhenThePortTellsOrDevicesChange) {
    start();
    loseThePort();
    controller.onPortLost();
    expectClosedWithOneMessage();  // and open again

    port.open_ = false;
    controller.onPortsChanged();
    controller.onTimer(PanelController::kPortsChangedTimer);
    EXPECT_FALSE(controller.portOpen());
    EXPECT_EQ(view.warnings.size(), 2u);
}

TEST_F(LostPortTest, IsNoticedWhenAWriteFails) {
    start();
    loseThePort();
    slideTo(10);
    fireSendDelay();
    EXPECT_EQ(port.refusedWrites, 1);
    expectClosedWithOneMessage();
}

TEST_F(LostPortTest, AClickOnClosePortBeforeATickClosesAndSaysWhy) {
    start();
    loseThePort();
    controller.onPortButton();
    EXPECT_EQ(port.openCalls, 1) << "the user asked to close";
    expectClosedWithOneMessage();
}

TEST_F(LostPortTest, AWriteThatFailsWhileThePortStillReportsOpenSaysNothing) {
    start();
    openPort();
    port.writeFails = true;
    slideTo(10);
    fireSendDelay();
    EXPECT_TRUE(controller.portOpen());
    EXPECT_TRUE(view.warnings.empty());
}

}  // namespace
