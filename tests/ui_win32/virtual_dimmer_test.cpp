// The panel's half of virtual_dimmer_test.sh: on the port named by LUMENTA_TEST_DIMMER_PORT (connected
// to the virtual dimmer by the script), open the port, choose CH5, set level 128 and let the frame go.
// The script checks what the dimmer received. Without the variable there is nothing to talk to.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "panel_under_test.h"
#include "ui/win32/resource_ids.h"
#include "window_driver.h"

using namespace window_driver;

namespace {

TEST(VirtualDimmer, OpenPortAndALevelChangeSendTheFrame) {
    const char* port = std::getenv("LUMENTA_TEST_DIMMER_PORT");
    if (port == nullptr) {
        GTEST_SKIP() << "run by virtual_dimmer_test.sh, which connects a port to the virtual dimmer";
    }
    PanelUnderTest panel({port});
    HWND dlg = panel.window();
    clickItem(dlg, IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_PORT_BUTTON) == L"Close Port"; }));
    click(panel.item(2005));
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_CHANNEL_GROUP) == L"CH5"; }));
    HWND slider = panel.item(IDC_LEVEL_SLIDER);
    SendMessageW(slider, TBM_SETPOS, TRUE, 127);
    PostMessageW(dlg, WM_VSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 127), reinterpret_cast<LPARAM>(slider));
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_LEVEL_TEXT) == L"128"; }));
    Sleep(1000);  // the send delay, and time for the bytes to cross
}

}  // namespace
