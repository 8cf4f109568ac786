#include "ui/qt/colour_button.h"

#include <gtest/gtest.h>

#include <QStyle>
#include <QStyleFactory>
#include <memory>

#include "tests/ui/panel_test_support.h"

namespace {

QImage lookIn(const QString& styleName, bool down) {
    std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
    CColourButton button(QStringLiteral("CH12"), QColor(50, 10, 150), nullptr);
    button.setStyle(style.get());
    button.resize(50, 35);
    button.setDown(down);
    return button.grab().toImage();
}

// The face colour must show whatever style the desktop uses.
TEST(ColourButton, LooksTheSameInEveryStyle) {
    testApplication();
    const QStringList styles = QStyleFactory::keys();
    ASSERT_GE(styles.size(), 2) << styles.join(',').toStdString();
    for (bool down : {false, true}) {
        const QImage reference = lookIn(styles.front(), down);
        EXPECT_EQ(reference.pixelColor(25, 4), QColor(50, 10, 150));
        for (const QString& style : styles) {
            EXPECT_EQ(lookIn(style, down), reference) << style.toStdString() << " down=" << down;
        }
    }
}

}  // namespace
