// The panel's half of virtual_dimmer_test.sh, on the port named by LUMENTA_TEST_DIMMER_PORT (connected
// to the virtual dimmer by the script). The script checks what the dimmer received. Without the
// variable there is nothing to talk to.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "panel_under_test.h"
#include "ui/win32/resource_ids.h"
#include "window_driver.h"

using namespace window_driver;

namespace {

const char* dimmerPort() {
    return std::getenv("LUMENTA_TEST_DIMMER_PORT");
}

// Opens the port, chooses the channel, sets the level and lets the frame go.
void openAndSend(const PanelUnderTest& panel, int channel, int level) {
    HWND dlg = panel.window();
    clickItem(dlg, IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_PORT_BUTTON) == L"Close Port"; }));
    click(panel.item(2000 + channel));
    ASSERT_TRUE(
        waitFor([&] { return itemText(dlg, IDC_CHANNEL_GROUP) == L"CH" + std::to_wstring(channel); }));
    HWND slider = panel.item(IDC_LEVEL_SLIDER);
    SendMessageW(slider, TBM_SETPOS, TRUE, 255 - level);
    PostMessageW(dlg, WM_VSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 255 - level),
                 reinterpret_cast<LPARAM>(slider));
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_LEVEL_TEXT) == std::to_wstring(level); }));
    Sleep(1000);  // the send delay, and time for the bytes to cross
}

// Asks the script for a step by writing the file request in the handshake folder, and waits for its
// answer file.
bool askScript(const std::string& folder, const char* request, const char* answer) {
    const std::wstring path = hostPath((folder + "/" + request).c_str());
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    const std::wstring done = hostPath((folder + "/" + answer).c_str());
    return waitFor([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; },
                   std::chrono::seconds(30));
}

TEST(VirtualDimmer, OpenPortAndALevelChangeSendTheFrame) {
    if (dimmerPort() == nullptr) {
        GTEST_SKIP() << "run by virtual_dimmer_test.sh, which connects a port to the virtual dimmer";
    }
    PanelUnderTest panel({dimmerPort()});
    openAndSend(panel, 5, 128);
}

// The dimmer goes away while its port is open, and comes back under the same COM name.
TEST(VirtualDimmer, ADimmerTakenAwayIsReportedOnceAndOneClickOpensItWhenBack) {
    const char* handshake = std::getenv("LUMENTA_TEST_HANDSHAKE");
    if (dimmerPort() == nullptr || handshake == nullptr) {
        GTEST_SKIP() << "run by virtual_dimmer_test.sh, which takes the dimmer away and brings it back";
    }
    // COM8, the last entry, leads nowhere: the user picks the dimmer's port.
    const std::wstring port(dimmerPort(), dimmerPort() + std::strlen(dimmerPort()));
    PanelUnderTest panel({dimmerPort(), "COM8"});
    HWND dlg = panel.window();
    HWND list = panel.item(IDC_PORT_LIST);
    SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(port.c_str()));
    ASSERT_EQ(text(list), port);
    clickItem(dlg, IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_PORT_BUTTON) == L"Close Port"; }));

    ASSERT_TRUE(askScript(handshake, "take-away", "gone"));
    panel.tickPortList();
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = findOwnedDialog(dlg)) != nullptr; }));
    // The warning, then why on a line of its own.
    EXPECT_EQ(itemText(box, 0xFFFF).rfind(L"\u4E32\u53E3\u5DF2\u65AD\u5F00\uFF01\n\nPort COM7 has gone", 0),
              0u);
    EXPECT_EQ(itemText(dlg, IDC_PORT_BUTTON), L"Open Port");
    EXPECT_TRUE(IsWindowEnabled(list));
    clickItem(box, IDOK);
    ASSERT_TRUE(waitFor([&] { return findOwnedDialog(dlg) == nullptr; }));
    panel.tickPortList();
    Sleep(500);
    EXPECT_EQ(findOwnedDialog(dlg), nullptr) << "said once";

    ASSERT_TRUE(askScript(handshake, "bring-back", "back"));
    panel.tickPortList();
    Sleep(300);
    EXPECT_EQ(text(list), port) << "still the chosen entry";
    openAndSend(panel, 7, 200);
}

}  // namespace
