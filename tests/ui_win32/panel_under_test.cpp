#include "panel_under_test.h"

#include <chrono>
#include <stdexcept>

BOOL PanelUnderTest::Dialog::onInitDialog() {
    BOOL result = CLumentaDlg::onInitDialog();
    test_.started_.set_value(hwnd());
    return result;
}

PanelUnderTest::PanelUnderTest(std::vector<std::string> portNames) : probe_(std::move(portNames)) {
    std::future<HWND> started = started_.get_future();
    thread_ = std::thread([this] { run(); });
    if (started.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        thread_.detach();
        ended_ = true;
        throw std::runtime_error("the panel's window did not come up");
    }
    window_ = started.get();
    threadId_ = GetWindowThreadProcessId(window_, nullptr);
    // The window shows after its initialisation; wait until it is on the screen.
    for (int i = 0; i < 500 && !IsWindowVisible(window_); ++i) {
        Sleep(10);
    }
    // And painted, children and channel buttons included, before anyone looks at it.
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

PanelUnderTest::~PanelUnderTest() {
    if (!ended_) {
        endWith(WM_COMMAND, IDCANCEL);
    }
}

void PanelUnderTest::run() {
    INT_PTR result;
    {
        Dialog dialog(probe_, *this);
        result = dialog.doModal();
        portOpenAfterRun_ = dialog.port().isOpen();
    }
    result_ = result;
}

void PanelUnderTest::tickPortList() const {
    PostMessageW(window_, WM_TIMER, PanelController::kPortListTimer, 0);
}

INT_PTR PanelUnderTest::endWith(UINT message, WPARAM wParam) {
    PostMessageW(window_, message, wParam, 0);
    thread_.join();
    ended_ = true;
    return result_;
}
