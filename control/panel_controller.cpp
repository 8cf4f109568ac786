#include "control/panel_controller.h"

// "The serial port is already in use!": the one failure the panel reports to the user.
const char* const PanelController::kPortBusyWarning = "串口已被占用！";
// "The serial port has been disconnected!": the open port's device went away.
const char* const PanelController::kPortLostWarning = "串口已断开！";

PanelController::PanelController(PanelView& view, PanelPort& port, PortProbe& probe)
    : view_(view), port_(port), probe_(probe) {}

void PanelController::onInit() {
    channel_ = 0;
    level_ = 0;
    mode_ = DimmerMode::H;
    levelText_ = "0";
    rebuildPortList();
    // Channel 0 is selected, yet the caption reads "CH" and no button is highlighted until the user
    // picks one.
    view_.setLevelText("0");
    view_.setChannelCaption("CH");
    view_.startTimer(kPortListTimer, kPortListPeriodMs);
}

void PanelController::onChannelButton(unsigned int commandId) {
    if (commandId < kFirstChannelCommand) {
        return;
    }
    const unsigned int index = commandId - kFirstChannelCommand;
    channel_ = static_cast<std::uint8_t>(index > kDimmerChannelCount ? kDimmerChannelCount : index);
    for (int i = 0; i < kChannelButtonCount; ++i) {
        view_.setButtonFaceColour(i, kNormalFaceColour);
    }
    view_.setButtonFaceColour(channel_, kSelectedFaceColour);
    channelCaption_ = channel_ == 0 ? "ALL CH" : "CH" + std::to_string(channel_);
    showTexts();
    // Nothing is sent: a frame already due carries the new channel when the delay runs out.
}

void PanelController::onLevelScroll(bool fromLevelSlider, int position) {
    if (fromLevelSlider) {
        // The slider has its minimum at the top: position 0 is the highest level.
        level_ = static_cast<std::uint8_t>(255 - (position & 0xFF));
        levelText_ = std::to_string(level_);
    }
    showTexts();
    restartSendDelay();
}

void PanelController::onModeH() {
    mode_ = DimmerMode::H;
    restartSendDelay();
}

void PanelController::onModeL() {
    mode_ = DimmerMode::L;
    restartSendDelay();
}

void PanelController::onPortButton() {
    if (port_.isOpen()) {
        port_.close();
        showClosed();
        return;
    }
    // The button reads "Close Port" but the device has gone before a tick noticed it: the user asked
    // to close, not to open again.
    if (portOpen_) {
        noticeLostPort();
        return;
    }
    const std::string name = view_.chosenPortName();
    wantedPortName_ = name;
    port_.init(name.c_str(), kBaudRate, kParityNone, kDataBits, kStopBitsOne, kFlowControlNone,
               kReadBufferSize);
    port_.open();
    if (port_.isOpen()) {
        view_.setPortButtonCaption("Close Port");
        portOpen_ = true;
        view_.setPortListEnabled(false);
    } else {
        view_.setPortButtonCaption("Open Port");
        view_.showWarning(kPortBusyWarning);
        portOpen_ = false;
    }
}

void PanelController::onTimer(unsigned int timerId) {
    if (timerId == kPortListTimer) {
        noticeLostPort();
        rebuildPortList();
    } else if (timerId == kSendDelayTimer) {
        sendCurrentFrame();
    } else if (timerId == kPortsChangedTimer) {
        view_.stopTimer(kPortsChangedTimer);
        portsChangedPending_ = false;
        noticeLostPort();
        rebuildPortList();
    }
}

void PanelController::onPortListCloseUp() {
    if (portListStale_) {
        rebuildPortList();
    }
}

void PanelController::onPortLost() {
    noticeLostPort();
}

// The first news of a burst starts the short delay and later news joins it: a stream of news cannot
// hold the rebuild off.
void PanelController::onPortsChanged() {
    if (!portsChangedPending_) {
        portsChangedPending_ = true;
        view_.startTimer(kPortsChangedTimer, kPortsChangedDelayMs);
    }
}

void PanelController::showTexts() {
    view_.setChannelCaption(channelCaption_);
    view_.setLevelText(levelText_);
}

void PanelController::restartSendDelay() {
    if (portOpen_) {
        view_.stopTimer(kSendDelayTimer);
        view_.startTimer(kSendDelayTimer, kSendDelayMs);
    }
}

void PanelController::sendCurrentFrame() {
    // Stopped first, so that one start gives exactly one frame.
    view_.stopTimer(kSendDelayTimer);
    const DimmerFrame frame = buildDimmerFrame(channel_, static_cast<std::uint8_t>(mode_), level_);
    if (port_.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::int32_t>(frame.size())) <
        0) {
        noticeLostPort();
    }
}

void PanelController::rebuildPortList() {
    if (view_.portListDroppedDown()) {
        portListStale_ = true;
        return;
    }
    portListStale_ = false;
    const std::string chosen = view_.chosenPortName();
    if (chosen != listedPortName_) {
        wantedPortName_ = chosen;
    }
    refreshPortList(view_, probe_, wantedPortName_);
    listedPortName_ = view_.chosenPortName();
}

// The port reports closed while the panel holds it open: its device has gone. The port still owns
// what is left of it until it is closed. The panel is Closed before the box shows, so the ticks that
// arrive while it waits for the user say nothing more.
void PanelController::noticeLostPort() {
    if (!portOpen_ || port_.isOpen()) {
        return;
    }
    port_.close();
    showClosed();
    view_.showWarning(kPortLostWarning);
}

void PanelController::showClosed() {
    view_.setPortButtonCaption("Open Port");
    portOpen_ = false;
    view_.setPortListEnabled(true);
}
