// What the panel looks like when it starts: texts, places, colours, the slider, the check mark, the
// port list and the keyboard focus.
#include <gtest/gtest.h>

#include <QTest>

#include "tests/ui/panel_test_support.h"
#include "ui/qt/lumenta_dlg.h"

namespace {

const QColor kNormalFace(150, 150, 150);

class PanelStart : public ::testing::Test {
protected:
    PanelStart() : app(testApplication()), probe({"ttyUSB0", "COM10", "COM2", "COM1", "vdimmer"}) {}

    void SetUp() override {
        dialog = std::make_unique<CLumentaDlg>(probe);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    QApplication& app;
    FixedPortProbe probe;
    std::unique_ptr<CLumentaDlg> dialog;
};

TEST_F(PanelStart, ShowsTheTemplateTextsAtTheirPlaces) {
    EXPECT_EQ(dialog->windowTitle(), "Tarvex V1.00");
    EXPECT_EQ(dialog->size(), QSize(609, 323));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "not resizable";
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);

    EXPECT_EQ(dialog->portButton().text(), "Open Port");
    EXPECT_EQ(dialog->userGuideButton().text(), "User Guide");
    EXPECT_EQ(dialog->exitButton().text(), "Exit");
    EXPECT_TRUE(dialog->exitButton().isDefault());
    EXPECT_EQ(dialog->channelGroup().title(), "CH");
    EXPECT_EQ(dialog->levelText().text(), "0");
    EXPECT_EQ(dialog->modeButton(DimmerMode::H).text(), "H");
    EXPECT_EQ(dialog->modeButton(DimmerMode::L).text(), "L");

    // Dialog units at 96 dpi: the left column ends near x 86, the group box starts at 507 and Exit's
    // top is at 286.
    EXPECT_EQ(dialog->portButton().geometry(), QRect(11, 112, 75, 41));
    EXPECT_EQ(dialog->userGuideButton().geometry(), QRect(11, 215, 75, 41));
    EXPECT_EQ(dialog->exitButton().geometry(), QRect(267, 286, 75, 23));
    EXPECT_EQ(dialog->channelGroup().geometry(), QRect(507, 23, 84, 224));
    EXPECT_EQ(dialog->levelSlider().geometry(), QRect(525, 57, 27, 171));
    EXPECT_EQ(dialog->portList().geometry().topLeft(), QPoint(11, 31));
    EXPECT_EQ(dialog->portList().width(), 75);
}

TEST_F(PanelStart, ChannelGridHasItsPixelRectanglesCaptionsAndNormalFaces) {
    const CColourButton& all = dialog->channelButton(0);
    EXPECT_EQ(all.text(), "ALL CH");
    EXPECT_EQ(all.geometry(), QRect(120, 30, 350, 35));
    for (int n = 1; n <= 24; ++n) {
        CColourButton& button = dialog->channelButton(n);
        const int row = (n - 1) / 6;
        const int column = (n - 1) % 6;
        EXPECT_EQ(button.text(), QStringLiteral("CH%1").arg(n));
        EXPECT_EQ(button.geometry(), QRect(120 + 60 * column, 77 + 47 * row, 50, 35)) << n;
    }
    for (int index = 0; index <= 24; ++index) {
        CColourButton& button = dialog->channelButton(index);
        EXPECT_EQ(button.focusPolicy(), Qt::NoFocus) << index;
        EXPECT_EQ(pixelAt(button, {5, 5}), kNormalFace) << index;
        // The caption is white and sits in the middle.
        const QImage image = button.grab().toImage();
        bool white = false;
        for (int x = 0; x < image.width() && !white; ++x) {
            white = image.pixelColor(x, image.height() / 2) == QColor(Qt::white);
        }
        EXPECT_TRUE(white) << index;
    }
}

TEST_F(PanelStart, SliderCheckMarkPortListAndFocus) {
    QSlider& slider = dialog->levelSlider();
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 255);
    EXPECT_EQ(slider.value(), 255) << "level 0";
    EXPECT_EQ(slider.pageStep(), 1);
    EXPECT_EQ(slider.singleStep(), 1);
    EXPECT_TRUE(slider.invertedAppearance()) << "minimum at the top";
    EXPECT_TRUE(dialog->modeButton(DimmerMode::H).isChecked());
    EXPECT_FALSE(dialog->modeButton(DimmerMode::L).isChecked());

    QComboBox& list = dialog->portList();
    ASSERT_EQ(list.count(), 5);
    EXPECT_EQ(list.itemText(0), "COM1");
    EXPECT_EQ(list.itemText(1), "COM10");
    EXPECT_EQ(list.itemText(2), "COM2");
    EXPECT_EQ(list.itemText(3), "ttyUSB0");
    EXPECT_EQ(list.itemText(4), "vdimmer");
    EXPECT_EQ(list.currentText(), "vdimmer") << "the last entry is chosen";
    EXPECT_FALSE(list.isEditable());

    EXPECT_EQ(QApplication::focusWidget(), &list);
}

TEST_F(PanelStart, TabVisitsTheTemplateControlsOnly) {
    std::vector<QWidget*> visited;
    for (int i = 0; i < 6; ++i) {
        visited.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const std::vector<QWidget*> expected = {&dialog->portList(),        &dialog->portButton(),
                                            &dialog->userGuideButton(), &dialog->levelSlider(),
                                            &dialog->exitButton(),      &dialog->portList()};
    EXPECT_EQ(visited, expected);
}

TEST_F(PanelStart, AnEmptyPortListChoosesNothing) {
    probe.names_.clear();
    CLumentaDlg empty(probe);
    EXPECT_EQ(empty.portList().count(), 0);
    EXPECT_EQ(empty.chosenPortName(), "");
}

}  // namespace
