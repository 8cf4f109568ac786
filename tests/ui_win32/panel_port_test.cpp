// The panel's window on a real COM port: the session's null-modem cable (COM5 <-> COM6) stands for the
// line to the dimmer, and this test reads at the far end what the panel sent.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "control/frame_decoder.h"
#include "panel_under_test.h"
#include "tests/support/null_modem_control.h"
#include "tests/support/raw_com_port.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win_app.h"
#include "window_driver.h"

using namespace window_driver;

namespace {

// The dimmer's end of the cable, 115200 8N1, reading what arrives.
class DimmerEnd {
public:
    // Reads return at once with what is there.
    explicit DimmerEnd(const char* name) : port_(name, MAXDWORD, 0) {}
    bool ok() const { return port_.isOpen(); }

    // Collects bytes for the given time.
    std::vector<unsigned char> readFor(std::chrono::milliseconds span) {
        std::vector<unsigned char> got;
        auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            unsigned char chunk[256];
            std::size_t n = 0;
            if (port_.read(chunk, sizeof chunk, n) && n > 0) {
                got.insert(got.end(), chunk, chunk + n);
            } else {
                Sleep(5);
            }
        }
        return got;
    }

    // Waits for the first byte; the time it took, or -1 when none came in the time.
    long long millisecondsToFirstByte(std::chrono::milliseconds limit, std::vector<unsigned char>& got) {
        auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < limit) {
            unsigned char chunk[256];
            std::size_t n = 0;
            if (port_.read(chunk, sizeof chunk, n) && n > 0) {
                got.insert(got.end(), chunk, chunk + n);
                return std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                    .count();
            }
            Sleep(2);
        }
        return -1;
    }

private:
    RawComPort port_;
};

void moveSlider(const PanelUnderTest& panel, int position) {
    HWND slider = panel.item(IDC_LEVEL_SLIDER);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    PostMessageW(panel.window(), WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, position),
                 reinterpret_cast<LPARAM>(slider));
}

TEST(PanelPort, OpenPortAndChangesDeliverOneExactFrameAfterTheSendDelay) {
    DimmerEnd dimmer("COM5");
    ASSERT_TRUE(dimmer.ok());
    PanelUnderTest panel({"COM5", "COM6"});  // COM6 is chosen, the last entry
    HWND dlg = panel.window();

    clickItem(dlg, IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_PORT_BUTTON) == L"Close Port"; }));
    EXPECT_FALSE(IsWindowEnabled(panel.item(IDC_PORT_LIST)));
    EXPECT_TRUE(dimmer.readFor(std::chrono::milliseconds(500)).empty()) << "opening sends nothing";

    // Channel 12, mode L, then a drag to level 100: one frame with the final values.
    click(panel.item(2012));
    clickItem(dlg, IDC_MODE_L);
    for (int position = 250; position >= 155; position -= 5) {
        moveSlider(panel, position);
        Sleep(20);
    }
    std::vector<unsigned char> got;
    long long delay = dimmer.millisecondsToFirstByte(std::chrono::seconds(3), got);
    RecordProperty("send_delay_ms", static_cast<int>(delay));
    EXPECT_GE(delay, 250) << "nothing goes out before the send delay has run";
    EXPECT_LT(delay, 1500);
    auto rest = dimmer.readFor(std::chrono::milliseconds(700));
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, (std::vector<unsigned char>{0xAA, 0x0C, 0x01, 0x64, 0x00, 0xC3}));
    EXPECT_EQ(itemText(dlg, IDC_LEVEL_TEXT), L"100");

    // Choosing a channel sends nothing; clicking H (already chosen or not) sends the current frame.
    click(panel.item(2000));
    EXPECT_TRUE(dimmer.readFor(std::chrono::milliseconds(600)).empty());
    clickItem(dlg, IDC_MODE_H);
    EXPECT_EQ(dimmer.readFor(std::chrono::milliseconds(1200)),
              (std::vector<unsigned char>{0xAA, 0x00, 0x00, 0x64, 0x00, 0xCE}));

    // Close Port: the list comes back, and the port is really released (the dimmer end can reopen it).
    clickItem(dlg, IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_PORT_BUTTON) == L"Open Port"; }));
    EXPECT_TRUE(IsWindowEnabled(panel.item(IDC_PORT_LIST)));
    moveSlider(panel, 0);
    EXPECT_TRUE(dimmer.readFor(std::chrono::milliseconds(600)).empty()) << "a closed port sends nothing";
}

TEST(PanelPort, ClosingTheWindowWithThePortOpenClosesThePortFirst) {
    PanelUnderTest panel({"COM6"});
    clickItem(panel.window(), IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(panel.window(), IDC_PORT_BUTTON) == L"Close Port"; }));
    EXPECT_EQ(panel.endWith(WM_SYSCOMMAND, SC_CLOSE), IDCANCEL);
    EXPECT_FALSE(panel.portOpenAfterRun());
}

// The cable pulled out of the open port: the port tells the window at once, long before the 5 s tick.
TEST(PanelPort, AnUnpluggedPortShowsTheLostPortBoxAtOnce) {
    PanelUnderTest panel({"COM5"});
    HWND dlg = panel.window();
    clickItem(dlg, IDC_PORT_BUTTON);
    ASSERT_TRUE(waitFor([&] { return itemText(dlg, IDC_PORT_BUTTON) == L"Close Port"; }));
    const auto pulled = std::chrono::steady_clock::now();
    ASSERT_TRUE(orderNullModem("hang up A"));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = findOwnedDialog(dlg)) != nullptr; }, std::chrono::seconds(3)));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pulled)
            .count();
    RecordProperty("lost_port_box_ms", static_cast<int>(ms));
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(itemText(box, 0xFFFF).rfind(L"\u4E32\u53E3\u5DF2\u65AD\u5F00\uFF01", 0), 0u)
        << "the lost-port warning";
    clickItem(box, IDOK);
    ASSERT_TRUE(waitFor([&] { return findOwnedDialog(dlg) == nullptr; }));
    EXPECT_EQ(itemText(dlg, IDC_PORT_BUTTON), L"Open Port");
}

TEST(PanelPort, AFailedOpenShowsTheChineseWarningUnderTheProgramsName) {
    // COM8 is mapped but leads nowhere, so it does not open.
    PanelUnderTest panel({"COM8"});
    HWND dlg = panel.window();
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        clickItem(dlg, IDC_PORT_BUTTON);
        HWND box = nullptr;
        ASSERT_TRUE(waitFor([&] { return (box = findOwnedDialog(dlg)) != nullptr; }));
        EXPECT_EQ(text(box), applicationName());
        // The message box's text control: the seven characters, exact in UTF-16, then why.
        const std::wstring shown = itemText(box, 0xFFFF);
        EXPECT_EQ(shown.rfind(L"\u4E32\u53E3\u5DF2\u88AB\u5360\u7528\uFF01\n\nPort COM8 has gone", 0), 0u);
        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "one OK button only";
        EXPECT_FALSE(IsWindowEnabled(dlg)) << "the warning is modal";
        clickItem(box, IDOK);
        ASSERT_TRUE(waitFor([&] { return findOwnedDialog(dlg) == nullptr; }));
        EXPECT_EQ(itemText(dlg, IDC_PORT_BUTTON), L"Open Port");
        EXPECT_TRUE(IsWindowEnabled(panel.item(IDC_PORT_LIST)));
    }
}

}  // namespace
