// Every way out ends the window's modal run: Exit, Enter through the default button, Escape, the
// close box; and the program ends with its window.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "tests/ui/panel_test_support.h"
#include "ui/qt/lumenta_dlg.h"

extern char** environ;

namespace {

// Runs the window modally, does the action once it runs, and returns how the run ended (-1 when it
// did not end within two seconds).
int runAndEndWith(const std::function<void(CLumentaDlg&)>& action) {
    testApplication();
    FixedPortProbe probe({"ttyUSB0"});
    CLumentaDlg dialog(probe);
    bool timedOut = false;
    QTimer::singleShot(0, &dialog, [&] {
        [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(&dialog);
        action(dialog);
    });
    QTimer::singleShot(2000, &dialog, [&] {
        timedOut = true;
        dialog.done(-1);
    });
    const int result = dialog.exec();
    return timedOut ? -1 : result;
}

TEST(PanelExit, ExitEnterEscapeAndTheCloseBoxEndTheWindow) {
    EXPECT_EQ(runAndEndWith([](CLumentaDlg& d) { QTest::mouseClick(&d.exitButton(), Qt::LeftButton); }),
              QDialog::Accepted);
    EXPECT_EQ(runAndEndWith([](CLumentaDlg& d) { QTest::keyClick(&d.portList(), Qt::Key_Return); }),
              QDialog::Accepted)
        << "Enter in the port list presses the default button";
    EXPECT_EQ(runAndEndWith([](CLumentaDlg& d) { QTest::keyClick(&d.levelSlider(), Qt::Key_Enter); }),
              QDialog::Accepted);
    EXPECT_EQ(runAndEndWith([](CLumentaDlg& d) { QTest::keyClick(&d.portList(), Qt::Key_Escape); }),
              QDialog::Rejected);
    EXPECT_EQ(runAndEndWith([](CLumentaDlg& d) { d.close(); }), QDialog::Rejected);
}

TEST(PanelExit, EnterOnAnotherPushButtonPressesThatButton) {
    UrlCatcher browser;
    const int result = runAndEndWith([&](CLumentaDlg& d) {
        d.userGuideButton().setFocus();
        QTest::keyClick(&d.userGuideButton(), Qt::Key_Return);
        QTimer::singleShot(100, &d, &QDialog::reject);
    });
    EXPECT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(result, QDialog::Rejected) << "Enter did not end the window";
}

// The program itself: lumenta ends when its window has closed. The start-up probe closes the window
// as soon as it has been shown, as the start-up figures use it.
TEST(PanelExit, TheProgramEndsWithItsWindow) {
    std::string exe = LUMENTA_EXE;
    char* argv[] = {exe.data(), nullptr};
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "LUMENTA_STARTUP_T0=0"};
    for (char** var = environ; *var != nullptr; ++var) {
        env.emplace_back(*var);
    }
    std::vector<char*> envp;
    for (std::string& var : env) {
        envp.push_back(var.data());
    }
    envp.push_back(nullptr);

    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    int status = -1;
    for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "lumenta did not end after its window closed";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
