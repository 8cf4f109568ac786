#include "ui/win32/lumenta_dlg.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "diagnosis/port_problem.h"
#include "ui/win32/about_dlg.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/text_convert.h"
#include "ui/win32/user_guide.h"
#include "ui/win32/win_app.h"

namespace {

COLORREF toColorRef(Colour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

// The interface class of COM ports: devices that serve one announce it as they come and go.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::wstring windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    length = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

RECT CLumentaDlg::channelButtonRect(int index) {
    if (index == 0) {
        return RECT{120, 30, 470, 65};
    }
    int row = (index - 1) / 6;
    int column = (index - 1) % 6;
    LONG left = 120 + 60 * column;
    LONG top = 77 + 47 * row;
    return RECT{left, top, left + 50, top + 35};
}

CLumentaDlg::CLumentaDlg(PortProbe& probe)
    : ModalDialog(IDD_LUMENTA_DIALOG, nullptr),
      appIcon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      controller_(*this, port_, probe) {}

// The port, if still open, was closed with the window; the facade would close it here otherwise.
CLumentaDlg::~CLumentaDlg() = default;

BOOL CLumentaDlg::onInitDialog() {
    HWND dialog = hwnd();
    portList_ = GetDlgItem(dialog, IDC_PORT_LIST);
    portButton_ = GetDlgItem(dialog, IDC_PORT_BUTTON);
    levelSlider_ = GetDlgItem(dialog, IDC_LEVEL_SLIDER);
    modeButtons_[0] = GetDlgItem(dialog, IDC_MODE_H);
    modeButtons_[1] = GetDlgItem(dialog, IDC_MODE_L);

    addAboutItem();
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon_));
    createChannelButtons();

    // Position 255 is the bottom, which is level 0; arrow keys and page keys move by 1.
    SendMessageW(levelSlider_, TBM_SETRANGE, FALSE, MAKELPARAM(0, 255));
    SendMessageW(levelSlider_, TBM_SETPAGESIZE, 0, 1);
    SendMessageW(levelSlider_, TBM_SETPOS, TRUE, 255);
    SendMessageW(modeButtons_[0], BM_SETCHECK, BST_CHECKED, 0);

    createPortTip();
    listenForPortChanges();
    controller_.onInit();
    port_.connectListener(this);
    port_.connectLossListener(this);
    return TRUE;
}

// Arrivals and removals of COM port interfaces come as WM_DEVICECHANGE; so do those of ports that
// only announce themselves to every top-level window (DBT_DEVTYP_PORT).
void CLumentaDlg::listenForPortChanges() {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    portNotification_ = RegisterDeviceNotificationW(hwnd(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool CLumentaDlg::onDeviceChange(WPARAM event, LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || header == nullptr) {
        return false;
    }
    if (header->dbch_devicetype == DBT_DEVTYP_PORT ||
        (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
         IsEqualGUID(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header)->dbcc_classguid,
                     kComPortInterface))) {
        controller_.onPortsChanged();
        return true;
    }
    return false;
}

// The tooltip of the port list: the chosen entry's name and device, while the device has a name.
void CLumentaDlg::createPortTip() {
    portTip_ = CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (portTip_ == nullptr) {
        return;
    }
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(portList_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(portTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CLumentaDlg::showChosenPortTip() {
    if (portTip_ == nullptr) {
        return;
    }
    const LRESULT chosen = SendMessageW(portList_, CB_GETCURSEL, 0, 0);
    std::wstring text;
    if (chosen != CB_ERR && portNameAt(static_cast<int>(chosen)) != toUtf8(windowText(portList_))) {
        text = windowText(portList_);
    }
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(portList_);
    tool.lpszText = text.data();
    SendMessageW(portTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CLumentaDlg::addAboutItem() {
    HMENU systemMenu = GetSystemMenu(hwnd(), FALSE);
    if (systemMenu == nullptr) {
        return;
    }
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0) {
        return;
    }
    std::wstring item(text, static_cast<std::size_t>(length));
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, item.c_str());
}

void CLumentaDlg::createChannelButtons() {
    const COLORREF face = toColorRef(PanelController::kNormalFaceColour);
    const COLORREF white = RGB(255, 255, 255);
    for (int index = 0; index < PanelController::kChannelButtonCount; ++index) {
        wchar_t caption[16];
        if (index == 0) {
            std::swprintf(caption, 16, L"ALL CH");
        } else {
            std::swprintf(caption, 16, L"CH%d", index);
        }
        auto button = std::make_unique<ColourButton>();
        button->create(hwnd(), caption, channelButtonRect(index),
                       static_cast<int>(PanelController::kFirstChannelCommand) + index, face, white);
        channelButtons_[static_cast<std::size_t>(index)] = std::move(button);
    }
}

bool CLumentaDlg::onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return false;
        case WM_VSCROLL: {
            HWND from = reinterpret_cast<HWND>(lParam);
            bool fromLevelSlider = from != nullptr && from == levelSlider_;
            int position =
                fromLevelSlider ? static_cast<int>(SendMessageW(levelSlider_, TBM_GETPOS, 0, 0)) : 0;
            controller_.onLevelScroll(fromLevelSlider, position);
            return false;
        }
        case WM_TIMER:
            controller_.onTimer(static_cast<unsigned int>(wParam));
            return false;
        case kPortListClosedUp:
            controller_.onPortListCloseUp();
            result = TRUE;
            return true;
        case kPortLost:
            controller_.onPortLost();
            result = TRUE;
            return true;
        case WM_DEVICECHANGE:
            if (onDeviceChange(wParam, lParam)) {
                result = TRUE;
                return true;
            }
            return false;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                CAboutDlg about(hwnd());
                about.doModal();
                result = TRUE;
                return true;
            }
            return false;
        case WM_PAINT:
            if (IsIconic(hwnd())) {
                paintMinimised();
                result = TRUE;
                return true;
            }
            return false;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(appIcon_);
            return true;
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            int index =
                static_cast<int>(item->CtlID) - static_cast<int>(PanelController::kFirstChannelCommand);
            if (index >= 0 && index < PanelController::kChannelButtonCount &&
                channelButtons_[static_cast<std::size_t>(index)] != nullptr) {
                channelButtons_[static_cast<std::size_t>(index)]->draw(*item);
                result = TRUE;
                return true;
            }
            return false;
        }
        case WM_DESTROY:
            onDestroy();
            return false;
        default:
            return false;
    }
}

void CLumentaDlg::onCommand(int id, int code) {
    const int firstChannel = static_cast<int>(PanelController::kFirstChannelCommand);
    if (id >= firstChannel && id < firstChannel + PanelController::kChannelButtonCount) {
        // A quick second click on an owner-drawn button arrives as a double click: it is a click too.
        if (code == BN_CLICKED || code == BN_DOUBLECLICKED) {
            controller_.onChannelButton(static_cast<unsigned int>(id));
        }
        return;
    }
    if (id == IDC_PORT_LIST && code == CBN_CLOSEUP) {
        PostMessageW(hwnd(), kPortListClosedUp, 0, 0);
        return;
    }
    if (id == IDC_PORT_LIST && code == CBN_SELCHANGE) {
        showChosenPortTip();
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_MODE_H:
            controller_.onModeH();
            break;
        case IDC_MODE_L:
            controller_.onModeL();
            break;
        case IDC_PORT_BUTTON:
            controller_.onPortButton();
            break;
        case IDC_USER_GUIDE:
            openUserGuide();
            break;
        default:
            break;
    }
}

void CLumentaDlg::onDestroy() {
    // Close an open port while the window goes, so that no receive thread is left waiting on the
    // device and nothing calls this listener once the dialog object is gone.
    if (port_.isOpen()) {
        port_.close();
    }
    if (portNotification_ != nullptr) {
        UnregisterDeviceNotification(portNotification_);
        portNotification_ = nullptr;
    }
}

void CLumentaDlg::paintMinimised() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, appIcon_);
    EndPaint(hwnd(), &paint);
}

void CLumentaDlg::openUserGuide() {
    openUserGuideInBrowser();
}

void CLumentaDlg::onDataReceived(const char*, unsigned int) {}

// The port closes, and its receive thread ends, before the window goes (onDestroy); a message posted
// to a window that has gone is dropped.
void CLumentaDlg::onPortLost(const char*) {
    PostMessageW(hwnd(), kPortLost, 0, 0);
}

void CLumentaDlg::setButtonFaceColour(int index, Colour colour) {
    if (index < 0 || index >= PanelController::kChannelButtonCount) {
        return;
    }
    if (ColourButton* button = channelButtons_[static_cast<std::size_t>(index)].get()) {
        button->setFaceColour(toColorRef(colour));
    }
}

void CLumentaDlg::setChannelCaption(const std::string& text) {
    SetDlgItemTextW(hwnd(), IDC_CHANNEL_GROUP, toWide(text).c_str());
}

void CLumentaDlg::setLevelText(const std::string& text) {
    SetDlgItemTextW(hwnd(), IDC_LEVEL_TEXT, toWide(text).c_str());
}

void CLumentaDlg::setPortButtonCaption(const std::string& text) {
    SetWindowTextW(portButton_, toWide(text).c_str());
}

void CLumentaDlg::setPortListEnabled(bool enabled) {
    EnableWindow(portList_, enabled ? TRUE : FALSE);
}

std::string CLumentaDlg::chosenPortName() const {
    const LRESULT chosen = SendMessageW(portList_, CB_GETCURSEL, 0, 0);
    return chosen == CB_ERR ? std::string() : portNameAt(static_cast<int>(chosen));
}

bool CLumentaDlg::portListDroppedDown() const {
    return SendMessageW(portList_, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

// The warning, then on a line of its own why (the diagnosis the Linux window and the tools give):
// for a lost port the port it was opened as, else the chosen one.
void CLumentaDlg::showWarning(const std::string& text) {
    std::string details;
    if (CSerialPortBase* port = port_.port()) {
        details = text == PanelController::kPortLostWarning
                      ? lostPortDetails(port->portName(), port_.lastStatus())
                      : openFailureDetails(chosenPortName(), port_.lastStatus());
    }
    const std::string shown = details.empty() ? text : text + "\n\n" + details;
    MessageBoxW(hwnd(), toWide(shown).c_str(), applicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void CLumentaDlg::startTimer(unsigned int id, unsigned int milliseconds) {
    SetTimer(hwnd(), id, milliseconds, nullptr);
}

void CLumentaDlg::stopTimer(unsigned int id) {
    KillTimer(hwnd(), id);
}

void CLumentaDlg::clearPortList() {
    SendMessageW(portList_, CB_RESETCONTENT, 0, 0);
    portNames_.clear();
    droppedWidth_ = 0;
    SendMessageW(portList_, CB_SETDROPPEDWIDTH, 0, 0);
    showChosenPortTip();
}

void CLumentaDlg::addPortName(const std::string& name) {
    portNames_.push_back(name);
    addPortEntry(portNames_.size() - 1, name);
}

// The list sorts its entries by their text. A name followed by " — " keeps its place before any
// longer name it begins (COM1 — ..., COM10), as a space sorts before every character of a name.
int CLumentaDlg::addPortEntry(std::size_t nameSlot, const std::string& text) {
    const std::wstring wide = toWide(text);
    const LRESULT index = SendMessageW(portList_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    if (index < 0) {
        return -1;
    }
    SendMessageW(portList_, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(nameSlot));
    // The dropped-down list as wide as its longest entry, even where the closed box is narrower.
    if (HDC dc = GetDC(portList_)) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(portList_, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(portList_, dc);
        droppedWidth_ = std::max<int>(droppedWidth_, extent.cx + GetSystemMetrics(SM_CXVSCROLL) + 8);
        SendMessageW(portList_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(droppedWidth_), 0);
    }
    return static_cast<int>(index);
}

std::string CLumentaDlg::portNameAt(int index) const {
    const LRESULT slot = SendMessageW(portList_, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return slot >= 0 && static_cast<std::size_t>(slot) < portNames_.size()
               ? portNames_[static_cast<std::size_t>(slot)]
               : std::string();
}

void CLumentaDlg::setPortDescription(const std::string& name, const std::string& description) {
    const int index = findPortName(name);
    if (index < 0 || description.empty()) {
        return;
    }
    const LRESULT slot = SendMessageW(portList_, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    const bool chosen = SendMessageW(portList_, CB_GETCURSEL, 0, 0) == index;
    SendMessageW(portList_, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    const int at = addPortEntry(static_cast<std::size_t>(slot), name + " \u2014 " + description);
    if (chosen && at >= 0) {
        selectPortName(at);
    }
}

int CLumentaDlg::portNameCount() const {
    return static_cast<int>(SendMessageW(portList_, CB_GETCOUNT, 0, 0));
}

void CLumentaDlg::selectPortName(int index) {
    SendMessageW(portList_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    showChosenPortTip();
}

int CLumentaDlg::findPortName(const std::string& name) const {
    for (int index = 0; index < portNameCount(); ++index) {
        if (portNameAt(index) == name) {
            return index;
        }
    }
    return -1;
}
