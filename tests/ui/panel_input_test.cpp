// Clicks and keys reach the controller, and what it sets shows in the window.
#include <gtest/gtest.h>

#include <QTest>

#include "tests/ui/panel_test_support.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

const QColor kNormalFace(150, 150, 150);
const QColor kSelectedFace(50, 10, 150);

class PanelInput : public ::testing::Test {
protected:
    PanelInput() : app(testApplication()), probe({"ttyUSB0"}) {}

    void SetUp() override {
        dialog = std::make_unique<CLumentaDlg>(probe);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    // The indexes of the buttons that show the selected face.
    std::vector<int> highlighted() {
        std::vector<int> indexes;
        for (int index = 0; index <= 24; ++index) {
            const QColor face = pixelAt(dialog->channelButton(index), {5, 5});
            if (face == kSelectedFace) {
                indexes.push_back(index);
            } else {
                EXPECT_EQ(face, kNormalFace) << index;
            }
        }
        return indexes;
    }

    QApplication& app;
    FixedPortProbe probe;
    std::unique_ptr<CLumentaDlg> dialog;
};

TEST_F(PanelInput, ChoosingAChannelHighlightsExactlyItsButtonAndNamesIt) {
    EXPECT_EQ(highlighted(), std::vector<int>{});

    QTest::mouseClick(&dialog->channelButton(7), Qt::LeftButton);
    EXPECT_EQ(highlighted(), std::vector<int>{7});
    EXPECT_EQ(dialog->channelGroup().title(), "CH7");
    EXPECT_EQ(dialog->controller().channel(), 7);

    QTest::mouseClick(&dialog->channelButton(24), Qt::LeftButton);
    EXPECT_EQ(highlighted(), std::vector<int>{24});
    EXPECT_EQ(dialog->channelGroup().title(), "CH24");

    QTest::mouseClick(&dialog->channelButton(0), Qt::LeftButton);
    EXPECT_EQ(highlighted(), std::vector<int>{0});
    EXPECT_EQ(dialog->channelGroup().title(), "ALL CH");
    EXPECT_EQ(dialog->controller().channel(), 0);
    EXPECT_EQ(dialog->levelText().text(), "0") << "the read-out is shown again, unchanged";
}

TEST_F(PanelInput, ThePressedButtonSinks) {
    CColourButton& button = dialog->channelButton(3);
    const QColor raisedTopLeft = pixelAt(button, {0, 0});
    button.setDown(true);
    const QColor sunkenTopLeft = pixelAt(button, {0, 0});
    button.setDown(false);
    EXPECT_GT(raisedTopLeft.lightness(), sunkenTopLeft.lightness());
}

TEST_F(PanelInput, SliderMovesSetTheReadOutAsLevel255MinusPosition) {
    QSlider& slider = dialog->levelSlider();
    slider.setFocus();
    QTest::keyClick(&slider, Qt::Key_Up);
    EXPECT_EQ(slider.value(), 254) << "up moves the thumb up";
    EXPECT_EQ(dialog->levelText().text(), "1");
    QTest::keyClick(&slider, Qt::Key_PageUp);
    EXPECT_EQ(dialog->levelText().text(), "2") << "a page is one step";
    QTest::keyClick(&slider, Qt::Key_Home);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(dialog->levelText().text(), "255") << "the top is full level";
    QTest::keyClick(&slider, Qt::Key_Down);
    EXPECT_EQ(dialog->levelText().text(), "254");

    slider.setValue(255);
    EXPECT_EQ(dialog->levelText().text(), "0");
    EXPECT_EQ(dialog->controller().level(), 0);
}

TEST_F(PanelInput, ModeButtonsKeepOneCheckMarkAndSetTheMode) {
    QRadioButton& high = dialog->modeButton(DimmerMode::H);
    QRadioButton& low = dialog->modeButton(DimmerMode::L);
    QTest::mouseClick(&low, Qt::LeftButton);
    EXPECT_TRUE(low.isChecked());
    EXPECT_FALSE(high.isChecked());
    EXPECT_EQ(dialog->controller().mode(), DimmerMode::L);
    QTest::mouseClick(&high, Qt::LeftButton);
    QTest::mouseClick(&high, Qt::LeftButton);
    EXPECT_TRUE(high.isChecked()) << "clicking the checked one keeps its mark";
    EXPECT_EQ(dialog->controller().mode(), DimmerMode::H);
}

// Timer 1 is a real window timer whose ticks reach the controller; it is run faster here.
TEST_F(PanelInput, PortListKeepsTheChoiceDescribesTheDevicesAndWaitsWhileDroppedDown) {
    probe.names_ = {"ttyUSB0", "ttyACM0"};
    probe.descriptions_ = {{"ttyUSB0", "FTDI FT232R USB UART"}};
    CPortListBox& list = dialog->portList();
    dialog->startTimer(PanelController::kPortListTimer, 20);
    ASSERT_TRUE(processEventsUntil([&] { return list.count() == 2; }));
    EXPECT_EQ(dialog->chosenPortName(), "ttyUSB0");
    EXPECT_EQ(list.itemText(0), "ttyACM0");
    EXPECT_EQ(list.itemText(1), QString::fromUtf8("ttyUSB0 — FTDI FT232R USB UART"));
    EXPECT_EQ(list.toolTip(), QString::fromUtf8("ttyUSB0 — FTDI FT232R USB UART"));

    // The user's pick survives the rebuilds.
    list.setCurrentIndex(0);
    EXPECT_EQ(dialog->chosenPortName(), "ttyACM0");
    EXPECT_EQ(list.toolTip(), "");
    processEventsUntil([] { return false; }, 200);
    EXPECT_EQ(dialog->chosenPortName(), "ttyACM0");

    // Nothing changes under the user's eyes while the list is dropped down; the rebuild that was
    // missed runs when it closes.
    list.showPopup();
    ASSERT_TRUE(dialog->portListDroppedDown());
    probe.names_ = {"ttyS0"};
    processEventsUntil([] { return false; }, 200);
    EXPECT_EQ(list.count(), 2);
    dialog->stopTimer(PanelController::kPortListTimer);
    list.hidePopup();
    ASSERT_TRUE(processEventsUntil([&] { return list.count() == 1; }));
    EXPECT_EQ(dialog->chosenPortName(), "ttyS0");
}

TEST_F(PanelInput, TheClosedPortListShowsTheBareName) {
    CPortListBox& list = dialog->portList();
    list.clearNames();
    list.addName("ttyS0");  // short enough to leave room for more
    list.setCurrentIndex(0);
    const QImage bare = list.grab().toImage();
    list.setDescription("ttyS0", "serial8250");
    EXPECT_EQ(list.itemText(0), QString::fromUtf8("ttyS0 — serial8250"));
    EXPECT_EQ(list.grab().toImage(), bare);
}

}  // namespace
