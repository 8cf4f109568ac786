#pragma once

#include <windows.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/port_discovery.h"
#include "ui/win32/lumenta_dlg.h"

// The panel's real window, run modally on a thread of its own as the program runs it on its main
// thread, so that the test's thread can drive it like a user and look at it.
class PanelUnderTest {
public:
    // The port list shows these names (in the list's own order).
    explicit PanelUnderTest(std::vector<std::string> portNames);
    ~PanelUnderTest();

    HWND window() const { return window_; }
    HWND item(int id) const { return GetDlgItem(window_, id); }
    DWORD threadId() const { return threadId_; }

    // Ends the modal run with this command (IDOK, IDCANCEL) or system command, and waits for it.
    INT_PTR endWith(UINT message, WPARAM wParam);

    // After the end: whether the port was still open once the modal run had returned.
    bool portOpenAfterRun() const { return portOpenAfterRun_; }

    int userGuideRequests() const { return userGuideRequests_; }

    // The names the port list shows from its next rebuild on.
    void setPortNames(std::vector<std::string> names) { probe_.setNames(std::move(names)); }
    // A tick of the port-list timer, now rather than up to 5 s later.
    void tickPortList() const;

private:
    // Read on the panel's thread, set on the test's.
    class FixedProbe : public PortProbe {
    public:
        explicit FixedProbe(std::vector<std::string> names) : names_(std::move(names)) {}
        std::vector<std::string> presentPortNames() override {
            std::lock_guard<std::mutex> lock(mutex_);
            return names_;
        }
        void setNames(std::vector<std::string> names) {
            std::lock_guard<std::mutex> lock(mutex_);
            names_ = std::move(names);
        }

    private:
        std::mutex mutex_;
        std::vector<std::string> names_;
    };

    class Dialog : public CLumentaDlg {
    public:
        Dialog(PortProbe& probe, PanelUnderTest& test) : CLumentaDlg(probe), test_(test) {}

    protected:
        BOOL onInitDialog() override;
        void openUserGuide() override { ++test_.userGuideRequests_; }

    private:
        PanelUnderTest& test_;
    };

    void run();

    FixedProbe probe_;
    std::promise<HWND> started_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    INT_PTR result_ = 0;
    bool ended_ = false;
    std::atomic<bool> portOpenAfterRun_{false};
    std::atomic<int> userGuideRequests_{0};
    std::thread thread_;
};
