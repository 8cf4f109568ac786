#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSocketNotifier>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "control/panel_controller.h"
#include "control/panel_view.h"
#include "serial/port_facade.h"
#include "serial/port_loss_listener.h"
#include "serial/serial_port_listener.h"
#include "ui/linux/port_event_source.h"
#include "ui/qt/colour_button.h"
#include "ui/qt/port_list_box.h"

// The panel's window: the port list, Open/Close Port, User Guide, the grid of 25 channel buttons,
// the level slider with its read-out inside the channel group box, H and L, and Exit.
//
// It holds none of the panel's logic: every click, slider move and timer tick goes to one operation
// of the PanelController, which changes the window back through PanelView. It owns the application's
// serial port and is that port's listener, ignoring read events: received bytes stay in the port.
// It hears at once when the open port's device goes (the port's loss listener) and when serial
// devices come or go (the system's port event sources), and passes both to the controller.
class CLumentaDlg : public QDialog,
                    public PanelView,
                    public kelso::CSerialPortListener,
                    public kelso::CPortLossListener {
public:
    static constexpr const char* kTitle = "Tarvex V1.00";
    static constexpr int kClientWidth = 609;
    static constexpr int kClientHeight = 323;

    // The port list's probe may be replaced (tests list the ports of their own directory).
    explicit CLumentaDlg(PortProbe& probe = systemPortProbe());
    ~CLumentaDlg() override;

    // PanelView
    void setButtonFaceColour(int index, Colour colour) override;
    void setChannelCaption(const std::string& text) override;
    void setLevelText(const std::string& text) override;
    void setPortButtonCaption(const std::string& text) override;
    void setPortListEnabled(bool enabled) override;
    std::string chosenPortName() const override;
    bool portListDroppedDown() const override;
    void showWarning(const std::string& text) override;
    void startTimer(unsigned int id, unsigned int milliseconds) override;
    void stopTimer(unsigned int id) override;
    void clearPortList() override;
    void addPortName(const std::string& name) override;
    int portNameCount() const override;
    void selectPortName(int index) override;
    int findPortName(const std::string& name) const override;
    void setPortDescription(const std::string& name, const std::string& description) override;

    // kelso::CSerialPortListener: called on the port's receive thread; does nothing.
    void onDataReceived(const char* portName, unsigned int byteCount) override;
    // kelso::CPortLossListener: called on the port's receive thread; the controller hears of it on
    // the window's thread, unless the window has gone by then.
    void onPortLost(const char* portName) override;

    // Tells the controller of the source's news as it comes (the system's sources are watched from
    // the start; tests add stand-ins).
    void watchPortEvents(std::unique_ptr<PortEventSource> source);

    // Opens the About box (the context menu's item and its shortcut lead here).
    void showAboutBox();
    // Opens the online user guide in the default browser; a failure changes nothing.
    void openUserGuide();

    // The controls, for the tests and the start-up figures.
    CPortListBox& portList() { return *portList_; }
    QPushButton& portButton() { return *portButton_; }
    QPushButton& userGuideButton() { return *userGuideButton_; }
    QPushButton& exitButton() { return *exitButton_; }
    QSlider& levelSlider() { return *levelSlider_; }
    QRadioButton& modeButton(DimmerMode mode) { return *modeButtons_[static_cast<int>(mode)]; }
    QGroupBox& channelGroup() { return *channelGroup_; }
    QLabel& levelText() { return *levelText_; }
    CColourButton& channelButton(int index) { return *channelButtons_.at(index); }
    CSerialPortFacade& port() { return port_; }
    const PanelController& controller() const { return controller_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void createTemplateControls();
    void createChannelGrid();
    void createAboutItem();
    void connectEvents();
    QString busyDetails();
    QString lostDetails();

    QIcon appIcon_;
    CPortListBox* portList_ = nullptr;
    std::array<std::unique_ptr<CColourButton>, PanelController::kChannelButtonCount> channelButtons_;
    PanelController controller_;
    // Declared after the controller, which holds it from construction on and uses it from onInit on.
    CSerialPortFacade port_;
    QSlider* levelSlider_ = nullptr;
    std::array<QRadioButton*, 2> modeButtons_{};
    QPushButton* portButton_ = nullptr;
    QPushButton* userGuideButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QGroupBox* channelGroup_ = nullptr;
    QLabel* levelText_ = nullptr;
    std::map<unsigned int, QBasicTimer> timers_;
    struct WatchedSource {
        std::unique_ptr<PortEventSource> source;
        std::unique_ptr<QSocketNotifier> notifier;  // goes first, while the descriptor is still open
    };
    std::vector<WatchedSource> portEvents_;
};
