// The two ways out of the panel that are not the panel: the About box and the user guide.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "tests/ui/panel_test_support.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/lumenta_dlg.h"
#include "ui/qt/user_guide.h"

namespace {

class PanelShell : public ::testing::Test {
protected:
    PanelShell() : app(testApplication()), probe({"ttyUSB0"}) {}

    void SetUp() override {
        dialog = std::make_unique<CLumentaDlg>(probe);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->activateWindow();
    }

    QApplication& app;
    FixedPortProbe probe;
    std::unique_ptr<CLumentaDlg> dialog;
};

TEST_F(PanelShell, TheAboutItemIsInTheContextMenuWithItsMnemonicAndShortcut) {
    EXPECT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(dialog->actions().size(), 1);
    QAction* about = dialog->actions().front();
    EXPECT_EQ(about->text(), "&About Lumenta...");
    EXPECT_EQ(about->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));

    QString title;
    whenModalOpens([&](QWidget& modal) { title = modal.windowTitle(); });
    QTest::keyClick(&dialog->portList(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(title, "Orvia");
}

TEST_F(PanelShell, TheAboutBoxShowsIconNameSecondLineAndOk) {
    bool checked = false;
    whenModalOpens([&](QWidget& modal) {
        ASSERT_NE(dynamic_cast<CAboutDlg*>(&modal), nullptr);
        EXPECT_EQ(modal.parentWidget(), dialog.get()) << "centred over the panel";
        QStringList texts;
        bool hasIcon = false;
        for (QLabel* label : modal.findChildren<QLabel*>()) {
            texts << label->text();
            hasIcon = hasIcon || !label->pixmap().isNull();
            // Every line fits its box: nothing is cut off.
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->text().toStdString();
        }
        EXPECT_TRUE(hasIcon);
        EXPECT_TRUE(texts.contains("Quillon"));
        // The version and the copyright, as on Windows.
        EXPECT_TRUE(texts.contains(QString::fromUtf8("v" LUMENTA_VERSION ", \u00A9 2023 Lumenta")));
        auto buttons = modal.findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 1);
        EXPECT_EQ(buttons.front()->text(), "OK");
        EXPECT_TRUE(buttons.front()->isDefault());
        EXPECT_FALSE(dialog->isEnabled() && QApplication::activeModalWidget() != &modal);
        checked = true;
    });
    dialog->showAboutBox();
    EXPECT_TRUE(checked);
}

TEST_F(PanelShell, UserGuideOpensTheGuidesAddressAndChangesNothing) {
    UrlCatcher browser;
    QTest::mouseClick(&dialog->userGuideButton(), Qt::LeftButton);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.front().scheme(), "https");
    EXPECT_EQ(browser.opened.front().path(), "/index.php/2023/10/15/orvia/");
    EXPECT_EQ(dialog->portButton().text(), "Open Port");
    EXPECT_EQ(dialog->levelText().text(), "0");
    EXPECT_TRUE(dialog->isVisible());
}

// No browser and no xdg-open: the window says so, and where the guide is.
TEST_F(PanelShell, UserGuideSaysWhereTheGuideIsWhenNothingCanOpenIt) {
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir nothing;
    qputenv("PATH", nothing.path().toLocal8Bit());
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    QString shown;
    whenModalOpens([&](QWidget& modal) {
        if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
            shown = box->text() + " " + box->informativeText();
        }
    });
    QTest::mouseClick(&dialog->userGuideButton(), Qt::LeftButton);
    qputenv("PATH", path);
    EXPECT_TRUE(shown.startsWith("No program could open the user guide.")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromLatin1(kUserGuideUrl))) << shown.toStdString();
}

// Installed as <prefix>/bin/lumenta, the panel opens <prefix>/share/doc/lumenta/user-guide.html; without
// that page (the build tree, a system that leaves out /usr/share/doc), the guide on the project's site.
TEST(UserGuideAddress, IsTheInstalledPageWhenThereAndTheOnlineGuideOtherwise) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath("bin");
    const QString docs = prefix.filePath("share/doc/lumenta");
    ASSERT_TRUE(QDir().mkpath(bin));

    const QUrl online = userGuideAddress(bin);
    EXPECT_EQ(online, QUrl(QString::fromLatin1(kUserGuideUrl)));
    EXPECT_EQ(online.scheme(), "https");
    // A host that can really serve it: no name reserved for examples and tests.
    for (const char* reserved :
         {"example", "example.org", "example.com", "example.net", "test", "invalid", "localhost"}) {
        EXPECT_FALSE(online.host() == reserved || online.host().endsWith(QString(".") + reserved))
            << online.host().toStdString();
    }

    // A folder of the page's name is no page.
    ASSERT_TRUE(QDir().mkpath(docs + "/user-guide.html"));
    EXPECT_EQ(userGuideAddress(bin), online);
    ASSERT_TRUE(QDir(docs).rmdir("user-guide.html"));

    QFile page(docs + "/user-guide.html");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    EXPECT_EQ(userGuideAddress(bin), QUrl::fromLocalFile(QFileInfo(page).canonicalFilePath()));
    EXPECT_TRUE(userGuideNotOpenedText(userGuideAddress(bin)).contains(QFileInfo(page).canonicalFilePath()));
}

}  // namespace
