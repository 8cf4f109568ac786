// The panel's Windows window, driven on the screen: its start, the port list, the channel buttons'
// colours, the slider, the About box and the user guide. The port is left to panel_port_test.cpp.

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include "control/panel_controller.h"
#include "panel_under_test.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/user_guide.h"
#include "ui/win32/win_app.h"
#include "window_driver.h"

using namespace window_driver;

namespace {

const COLORREF kNormalFace = RGB(150, 150, 150);
const COLORREF kSelectedFace = RGB(50, 10, 150);
const COLORREF kWhite = RGB(255, 255, 255);

HWND channelButton(const PanelUnderTest& panel, int index) {
    return panel.item(2000 + index);
}

// A point of the face between the border and the caption.
COLORREF faceOf(const PanelUnderTest& panel, int index) {
    return pixel(channelButton(panel, index), 4, 4);
}

TEST(PanelWindow, StartsAsThePanelShouldLook) {
    PanelUnderTest panel({"COM7", "COM10", "COM5"});
    HWND dlg = panel.window();

    EXPECT_EQ(text(dlg), L"Tarvex V1.00");
    RECT client;
    GetClientRect(dlg, &client);
    RecordProperty("client_width", client.right);
    RecordProperty("client_height", client.bottom);

    // The sorted list keeps text order and the last entry is chosen.
    HWND list = panel.item(IDC_PORT_LIST);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
    wchar_t entry[32];
    std::vector<std::wstring> entries;
    for (int i = 0; i < 3; ++i) {
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        entries.push_back(entry);
    }
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"COM10", L"COM5", L"COM7"}));
    EXPECT_EQ(text(list), L"COM7");
    EXPECT_TRUE(IsWindowEnabled(list));

    EXPECT_EQ(itemText(dlg, IDC_PORT_BUTTON), L"Open Port");
    EXPECT_EQ(itemText(dlg, IDC_CHANNEL_GROUP), L"CH");
    EXPECT_EQ(itemText(dlg, IDC_LEVEL_TEXT), L"0");

    HWND slider = panel.item(IDC_LEVEL_SLIDER);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 255);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 255) << "thumb at the bottom: level 0";
    EXPECT_EQ(SendMessageW(slider, TBM_GETPAGESIZE, 0, 0), 1);
    EXPECT_EQ(SendMessageW(slider, TBM_GETLINESIZE, 0, 0), 1);

    EXPECT_EQ(SendMessageW(panel.item(IDC_MODE_H), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(panel.item(IDC_MODE_L), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // The keyboard focus is in the port list whenever the panel is the active window (a test running
    // beside this one may have taken the activation meanwhile).
    SetForegroundWindow(dlg);
    EXPECT_TRUE(waitFor([&] {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        return GetGUIThreadInfo(panel.threadId(), &thread) && thread.hwndFocus == list;
    })) << "the focus is in the port list";

    // 25 buttons at their pixel rectangles, captioned, unreachable with Tab, in the normal face with a
    // white caption centred on it.
    for (int index = 0; index < 25; ++index) {
        SCOPED_TRACE(index);
        HWND button = channelButton(panel, index);
        ASSERT_NE(button, nullptr);
        RECT expected = CLumentaDlg::channelButtonRect(index);
        RECT actual = rectInParent(button);
        EXPECT_TRUE(EqualRect(&expected, &actual));
        EXPECT_EQ(text(button), index == 0 ? std::wstring(L"ALL CH") : L"CH" + std::to_wstring(index));
        LONG style = GetWindowLongW(button, GWL_STYLE);
        EXPECT_FALSE(style & WS_TABSTOP);
        EXPECT_FALSE(style & WS_GROUP);
        EXPECT_EQ(faceOf(panel, index), kNormalFace);
        Box caption = pixelsOfColour(button, kWhite);
        ASSERT_GT(caption.count, 10);
        RECT area;
        GetClientRect(button, &area);
        EXPECT_LE(std::abs((caption.left + caption.right) - area.right), 3) << "centred across";
        EXPECT_LE(std::abs((caption.top + caption.bottom) - area.bottom), 4) << "centred down";
    }

    // The grid lies between the left-hand column and the group box, above Exit.
    EXPECT_LE(rectInParent(panel.item(IDC_PORT_BUTTON)).right, 120);
    EXPECT_LE(rectInParent(panel.item(IDC_PORT_LIST)).right, 120);
    EXPECT_GE(rectInParent(panel.item(IDC_CHANNEL_GROUP)).left, 470);
    EXPECT_GE(rectInParent(panel.item(IDOK)).top, 253);

    LONG style = GetWindowLongW(dlg, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // The About item closes the system menu, after a separator.
    HMENU menu = GetSystemMenu(dlg, FALSE);
    ASSERT_NE(menu, nullptr);
    int items = GetMenuItemCount(menu);
    ASSERT_GE(items, 2);
    EXPECT_EQ(GetMenuItemID(menu, items - 1), static_cast<UINT>(IDM_ABOUTBOX));
    wchar_t itemLabel[64];
    GetMenuStringW(menu, items - 1, itemLabel, 64, MF_BYPOSITION);
    EXPECT_STREQ(itemLabel, L"&About Lumenta...");
    EXPECT_TRUE(GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR);

    // The icon: large, small and the one dragged.
    LRESULT big = SendMessageW(dlg, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_EQ(SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0), big);
    EXPECT_EQ(SendMessageW(dlg, WM_QUERYDRAGICON, 0, 0), big);
}

TEST(PanelWindow, ThePortListKeepsTheChoiceAndIsNotRebuiltWhileDroppedDown) {
    PanelUnderTest panel({"COM3", "COM7"});
    HWND list = panel.item(IDC_PORT_LIST);
    auto count = [&] { return SendMessageW(list, CB_GETCOUNT, 0, 0); };
    SendMessageW(list, CB_SETCURSEL, 0, 0);  // the user picks COM3
    panel.setPortNames({"COM3", "COM7", "COM9"});
    panel.tickPortList();
    ASSERT_TRUE(waitFor([&] { return count() == 3; }));
    EXPECT_EQ(text(list), L"COM3");

    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    panel.setPortNames({"COM4"});
    panel.tickPortList();
    Sleep(300);
    EXPECT_EQ(count(), 3);
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    // At once, not at the next tick of the 5 s timer.
    ASSERT_TRUE(waitFor([&] { return count() == 1; }, std::chrono::seconds(1)));
    EXPECT_EQ(text(list), L"COM4");
}

// What the port list's tooltip (a window of the panel's thread, owned by the panel) says.
std::wstring portTip(const PanelUnderTest& panel) {
    HWND tip = nullptr;
    while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr &&
           GetWindow(tip, GW_OWNER) != panel.window()) {
    }
    wchar_t text[128] = L"";
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = panel.window();
    tool.uId = reinterpret_cast<UINT_PTR>(panel.item(IDC_PORT_LIST));
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    return text;
}

std::vector<std::wstring> listEntries(HWND list) {
    std::vector<std::wstring> entries;
    for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t entry[128];
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        entries.push_back(entry);
    }
    return entries;
}

// Entries name their devices in the list and the tooltip; the port opens by its bare name.
TEST(PanelWindow, ThePortListNamesTheDevicesAndOpensByTheBareName) {
    PanelUnderTest panel({});
    HWND list = panel.item(IDC_PORT_LIST);
    panel.setPortNames({"COM1", "COM10", "COM2", "COM5"},
                       {{"COM1", "USB Serial Port"}, {"COM5", "Null modem"}});
    panel.tickPortList();
    ASSERT_TRUE(waitFor([&] { return SendMessageW(list, CB_GETCOUNT, 0, 0) == 4; }));
    EXPECT_EQ(listEntries(list), (std::vector<std::wstring>{L"COM1 \u2014 USB Serial Port", L"COM10", L"COM2",
                                                            L"COM5 \u2014 Null modem"}));
    EXPECT_EQ(portTip(panel), L"COM5 \u2014 Null modem");
    EXPECT_GE(SendMessageW(list, CB_GETDROPPEDWIDTH, 0, 0),
              rectInParent(list).right - rectInParent(list).left);

    SendMessageW(list, CB_SETCURSEL, 2, 0);  // the user picks COM2, which names nothing
    PostMessageW(panel.window(), WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_TRUE(waitFor([&] { return portTip(panel).empty(); }));
    SendMessageW(list, CB_SETCURSEL, 3, 0);
    clickItem(panel.window(), IDC_PORT_BUTTON);
    EXPECT_TRUE(waitFor([&] { return itemText(panel.window(), IDC_PORT_BUTTON) == L"Close Port"; }))
        << "COM5, not its entry's text, was opened";
}

// Windows tells of COM ports that come and go; a burst of such news rebuilds the list once, at once.
TEST(PanelWindow, DeviceChangesOfComPortsRebuildTheListOnceAtOnce) {
    PanelUnderTest panel({"COM3"});
    HWND list = panel.item(IDC_PORT_LIST);
    panel.setPortNames({"COM3", "COM9"});
    const int scans = panel.portScans();
    DEV_BROADCAST_DEVICEINTERFACE_W comPort{};
    comPort.dbcc_size = sizeof comPort;
    comPort.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    comPort.dbcc_classguid = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    DEV_BROADCAST_PORT_W port{};
    port.dbcp_size = sizeof port;
    port.dbcp_devicetype = DBT_DEVTYP_PORT;
    for (int adapter = 0; adapter < 3; ++adapter) {
        SendMessageW(panel.window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&comPort));
    }
    SendMessageW(panel.window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port));
    ASSERT_TRUE(waitFor([&] { return SendMessageW(list, CB_GETCOUNT, 0, 0) == 2; }, std::chrono::seconds(1)));
    Sleep(300);
    EXPECT_EQ(panel.portScans(), scans + 1);

    panel.setPortNames({"COM9"});
    SendMessageW(panel.window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                 reinterpret_cast<LPARAM>(&comPort));
    EXPECT_TRUE(waitFor([&] { return SendMessageW(list, CB_GETCOUNT, 0, 0) == 1; }, std::chrono::seconds(1)));
}

TEST(PanelWindow, AChannelClickRecoloursExactlyOneButtonAndNamesIt) {
    PanelUnderTest panel({});
    HWND dlg = panel.window();

    click(channelButton(panel, 7));
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_CHANNEL_GROUP) == L"CH7"; }));
    for (int index = 0; index < 25; ++index) {
        EXPECT_EQ(faceOf(panel, index), index == 7 ? kSelectedFace : kNormalFace) << index;
    }
    EXPECT_GT(pixelsOfColour(channelButton(panel, 7), kWhite).count, 10) << "the caption stays white";
    EXPECT_EQ(itemText(dlg, IDC_LEVEL_TEXT), L"0");

    click(channelButton(panel, 0));
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_CHANNEL_GROUP) == L"ALL CH"; }));
    for (int index = 0; index < 25; ++index) {
        EXPECT_EQ(faceOf(panel, index), index == 0 ? kSelectedFace : kNormalFace) << index;
    }

    click(channelButton(panel, 24));
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_CHANNEL_GROUP) == L"CH24"; }));
    EXPECT_EQ(faceOf(panel, 24), kSelectedFace);
    EXPECT_EQ(faceOf(panel, 0), kNormalFace);
}

TEST(PanelWindow, AButtonLooksRaisedAndSinksWhileHeldDown) {
    PanelUnderTest panel({});
    HWND button = channelButton(panel, 3);
    RECT area;
    GetClientRect(button, &area);
    auto brightness = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); };

    // Raised: light top-left edge, dark bottom-right edge.
    EXPECT_GT(brightness(pixel(button, 1, 1)), brightness(pixel(button, area.right - 2, area.bottom - 2)));
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    EXPECT_LT(brightness(pixel(button, 1, 1)), brightness(pixel(button, area.right - 2, area.bottom - 2)));
    EXPECT_EQ(pixel(button, 4, 4), kNormalFace) << "the face keeps its colour while held down";
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
    EXPECT_GT(brightness(pixel(button, 1, 1)), brightness(pixel(button, area.right - 2, area.bottom - 2)));
    EXPECT_EQ(itemText(panel.window(), IDC_CHANNEL_GROUP), L"CH") << "holding a button down is no click";
}

TEST(PanelWindow, TheSliderSetsTheReadOutUpsideDown) {
    PanelUnderTest panel({});
    HWND dlg = panel.window();
    HWND slider = panel.item(IDC_LEVEL_SLIDER);

    SendMessageW(slider, TBM_SETPOS, TRUE, 55);
    SendMessageW(dlg, WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, 55), reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ(itemText(dlg, IDC_LEVEL_TEXT), L"200");

    // The keyboard, through the trackbar's own notifications.
    PostMessageW(slider, WM_KEYDOWN, VK_HOME, 0);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_LEVEL_TEXT) == L"255"; }));
    PostMessageW(slider, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_LEVEL_TEXT) == L"254"; }));
    PostMessageW(slider, WM_KEYDOWN, VK_END, 0);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_LEVEL_TEXT) == L"0"; }));

    // A scroll notification from elsewhere changes no level.
    SendMessageW(slider, TBM_SETPOS, TRUE, 10);
    SendMessageW(dlg, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    EXPECT_EQ(itemText(dlg, IDC_LEVEL_TEXT), L"0");
}

TEST(PanelWindow, SystemCommands16To31OpenTheAboutBoxOverTheDisabledPanel) {
    PanelUnderTest panel({});
    HWND dlg = panel.window();
    for (WPARAM command : {WPARAM{16}, WPARAM{21}, WPARAM{31}}) {
        SCOPED_TRACE(command);
        PostMessageW(dlg, WM_SYSCOMMAND, command, 0);
        HWND about = nullptr;
        ASSERT_TRUE(waitFor([&] { return (about = findOwnedDialog(dlg, L"Orvia")) != nullptr; }));
        EXPECT_FALSE(IsWindowEnabled(dlg));
        std::vector<std::wstring> texts;
        for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(text(child));
        }
        EXPECT_NE(std::find(texts.begin(), texts.end(), L"Quillon"), texts.end());
        EXPECT_EQ(itemText(about, IDOK), L"OK");
        clickItem(about, IDOK);
        ASSERT_TRUE(waitFor([&] { return findOwnedDialog(dlg, L"Orvia") == nullptr; }));
        EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(dlg) != FALSE; }));
    }
    // 32 is no longer the About item.
    PostMessageW(dlg, WM_SYSCOMMAND, 32, 0);
    EXPECT_FALSE(
        waitFor([&] { return findOwnedDialog(dlg, L"Orvia") != nullptr; }, std::chrono::milliseconds(500)));
}

TEST(PanelWindow, UserGuideOpensTheOnlineGuide) {
    PanelUnderTest panel({});
    clickItem(panel.window(), IDC_USER_GUIDE);
    EXPECT_TRUE(waitFor([&] { return panel.userGuideRequests() == 1; }));
    EXPECT_NE(std::string(kUserGuideUrl).find("/index.php/2023/10/15/orvia/"), std::string::npos);
    EXPECT_EQ(std::string(kUserGuideUrl).rfind("https://", 0), 0u);
}

TEST(PanelWindow, ExitEnterEscapeAndTheCloseBoxEndTheRun) {
    {
        PanelUnderTest panel({});
        clickItem(panel.window(), IDOK);
        EXPECT_EQ(panel.endWith(WM_NULL, 0), IDOK);
    }
    {
        // Enter in the port list goes to the default button, Exit.
        PanelUnderTest panel({"COM5"});
        PostMessageW(panel.item(IDC_PORT_LIST), WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_EQ(panel.endWith(WM_NULL, 0), IDOK);
    }
    {
        PanelUnderTest panel({});
        EXPECT_EQ(panel.endWith(WM_SYSCOMMAND, SC_CLOSE), IDCANCEL);
    }
    {
        PanelUnderTest panel({});
        EXPECT_EQ(panel.endWith(WM_COMMAND, IDCANCEL), IDCANCEL);
    }
}

TEST(ApplicationName, IsTheExecutablesNameWithoutExtension) {
    EXPECT_EQ(fileStem(L"C:\\Program Files\\Lumenta\\Lumenta.exe"), L"Lumenta");
    EXPECT_EQ(fileStem(L"Z:/tmp/Dimmer Panel.exe"), L"Dimmer Panel");
    EXPECT_EQ(fileStem(L"C:\\a.b\\Lumenta"), L"Lumenta");
    EXPECT_EQ(fileStem(L"C:\\x\\Lumenta.v2.exe"), L"Lumenta.v2");
    EXPECT_EQ(applicationName(), L"win32_panel_tests");
}

}  // namespace
