// The two ways out of the panel that are not the panel: the About box and the user guide.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
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
        }
        EXPECT_TRUE(hasIcon);
        EXPECT_TRUE(texts.contains("Quillon"));
        EXPECT_TRUE(texts.contains(CAboutDlg::kSecondLine));
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
}

}  // namespace
