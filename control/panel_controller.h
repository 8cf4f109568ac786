#pragma once

#include <cstdint>
#include <string>

#include "control/dimmer_frame.h"
#include "control/panel_port.h"
#include "control/panel_view.h"
#include "control/port_discovery.h"

// The logic behind the main window: which channel, level and mode the user chose, whether the port is
// open, and when a frame goes to the dimmer. It reaches the window only through PanelView and the port
// only through PanelPort, and owns neither. Every operation runs on the window's thread.
//
// A frame is sent only when the send-delay timer (2) expires, 300 ms after the last change of level or
// mode made while the port is open. Choosing a channel, opening and closing send nothing.
//
// The port list is rebuilt at every tick of timer 1 and keeps the user's choice: the entry the user
// chose (or opened) stays chosen while it is listed; when it has gone the last entry is chosen, and
// when it comes back it is chosen again, unless the user has chosen another entry meanwhile. No
// rebuild happens while the user has the drop-down open; a missed one runs when it closes. When the
// window hears that devices came or went (onPortsChanged), the list is rebuilt shortly after, once
// for a whole burst of such news (a hub with four adapters); timer 1 stays as the fallback for
// systems that tell nothing.
//
// A port that went away while open (unplugged, or its program ended) is noticed as soon as the port
// tells of it (onPortLost), and otherwise at the next tick of timer 1 and after a write that failed:
// the panel releases it, goes to Closed and says so once.
class PanelController {
public:
    static constexpr unsigned int kPortListTimer = 1;
    static constexpr unsigned int kPortListPeriodMs = 5000;
    static constexpr unsigned int kSendDelayTimer = 2;
    static constexpr unsigned int kSendDelayMs = 300;
    static constexpr unsigned int kPortsChangedTimer = 3;
    static constexpr unsigned int kPortsChangedDelayMs = 100;

    static constexpr unsigned int kFirstChannelCommand = 2000;
    static constexpr int kChannelButtonCount = 25;

    static constexpr Colour kNormalFaceColour{150, 150, 150};
    static constexpr Colour kSelectedFaceColour{50, 10, 150};

    // Line settings of every open: 115200 baud, 8N1, no flow control, 4096-byte read buffer.
    static constexpr std::int32_t kBaudRate = 115200;
    static constexpr std::int32_t kParityNone = 0;
    static constexpr std::int32_t kDataBits = 8;
    static constexpr std::int32_t kStopBitsOne = 0;
    static constexpr std::int32_t kFlowControlNone = 0;
    static constexpr std::uint32_t kReadBufferSize = 4096;

    static const char* const kPortBusyWarning;
    static const char* const kPortLostWarning;

    PanelController(PanelView& view, PanelPort& port, PortProbe& probe = systemPortProbe());

    void onInit();
    void onChannelButton(unsigned int commandId);
    void onLevelScroll(bool fromLevelSlider, int position);
    void onModeH();
    void onModeL();
    void onPortButton();
    void onTimer(unsigned int timerId);
    // The port list's drop-down has closed.
    void onPortListCloseUp();
    // The port has told that its device went away (passed on to the window's thread).
    void onPortLost();
    // A serial device may have come or gone (the system said so, on the window's thread).
    void onPortsChanged();

    std::uint8_t channel() const { return channel_; }
    std::uint8_t level() const { return level_; }
    DimmerMode mode() const { return mode_; }
    bool portOpen() const { return portOpen_; }

private:
    void showTexts();
    void restartSendDelay();
    void sendCurrentFrame();
    void rebuildPortList();
    void noticeLostPort();
    void showClosed();

    PanelView& view_;
    PanelPort& port_;
    PortProbe& probe_;

    std::uint8_t channel_ = 0;
    std::uint8_t level_ = 0;
    DimmerMode mode_ = DimmerMode::H;
    bool portOpen_ = false;
    std::string channelCaption_ = "CH";
    std::string levelText_ = "0";

    // The entry the user means, and the entry the list had chosen after the last rebuild: a list
    // whose choice differs from the latter was changed by the user.
    std::string wantedPortName_;
    std::string listedPortName_;
    bool portListStale_ = false;
    bool portsChangedPending_ = false;
};
