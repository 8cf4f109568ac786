#pragma once

#include <windows.h>

#include <atomic>
#include <future>
#include <map>
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

    // The names the port list shows from its next rebuild on, some with their device's name.
    void setPortNames(std::vector<std::string> names, std::map<std::string, std::string> descriptions = {}) {
        probe_.setNames(std::move(names), std::move(descriptions));
    }
    // How often the port list has been rebuilt.
    int portScans() const { return probe_.scans; }
    // A tick of the port-list timer, now rather than up to 5 s later.
    void tickPortList() const;

private:
    // Read on the panel's thread, set on the test's.
    class FixedProbe : public PortProbe {
    public:
        explicit FixedProbe(std::vector<std::string> names) : names_(std::move(names)) {}
        std::vector<std::string> presentPortNames() override {
            std::lock_guard<std::mutex> lock(mutex_);
            ++scans;
            return names_;
        }
        std::string portDescription(const std::string& name) override {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = descriptions_.find(name);
            return found == descriptions_.end() ? std::string() : found->second;
        }
        void setNames(std::vector<std::string> names, std::map<std::string, std::string> descriptions) {
            std::lock_guard<std::mutex> lock(mutex_);
            names_ = std::move(names);
            descriptions_ = std::move(descriptions);
        }
        std::atomic<int> scans{0};

    private:
        std::mutex mutex_;
        std::vector<std::string> names_;
        std::map<std::string, std::string> descriptions_;
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
