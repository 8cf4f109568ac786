#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "control/panel_controller.h"
#include "control/panel_view.h"
#include "control/port_discovery.h"
#include "serial/port_facade.h"
#include "serial/port_loss_listener.h"
#include "serial/serial_port_listener.h"
#include "ui/win32/colour_button.h"
#include "ui/win32/modal_dialog.h"

// The panel's window (template 102). It lays out the controls, creates the 25 channel buttons, shows
// what the controller asks through PanelView and passes every user action and timer tick to one
// controller operation. It owns the controller and the application's serial port, and is the port's
// read listener, which ignores what arrives. It hears at once when the open port's device goes (the
// port's loss listener) and when COM ports come or go (WM_DEVICECHANGE), and tells the controller.
//
// A port list entry reads "COM3 — USB Serial Port" when the device has a name, in the list and in
// its tooltip; the entry keeps the bare name, which is what the port is opened by.
class CLumentaDlg : public ModalDialog,
                    public PanelView,
                    public kelso::CSerialPortListener,
                    public kelso::CPortLossListener {
public:
    // The channel buttons' client-pixel rectangles do not follow the dialog units.
    static RECT channelButtonRect(int index);

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

    // kelso::CSerialPortListener: received bytes stay in the port's buffer, unread.
    void onDataReceived(const char* portName, unsigned int byteCount) override;
    // kelso::CPortLossListener: called on the port's receive thread; posts the news to the window.
    void onPortLost(const char* portName) override;

    CSerialPortFacade& port() { return port_; }
    const PanelController& controller() const { return controller_; }

protected:
    BOOL onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

    // The "User Guide" button.
    virtual void openUserGuide();

private:
    void addAboutItem();
    void createChannelButtons();
    void paintMinimised();
    void onCommand(int id, int code);
    // Posted when the port list's drop-down has closed, so that it arrives after the choice made in
    // it has been taken (the list's close-up and selection notifications come in either order).
    static constexpr UINT kPortListClosedUp = WM_APP + 1;
    // Posted by the receive thread when the open port's device has gone.
    static constexpr UINT kPortLost = WM_APP + 2;
    void onDestroy();
    void listenForPortChanges();
    bool onDeviceChange(WPARAM event, LPARAM data);
    int addPortEntry(std::size_t nameSlot, const std::string& text);
    std::string portNameAt(int index) const;
    void createPortTip();
    void showChosenPortTip();

    HICON appIcon_;
    HWND portList_ = nullptr;
    std::array<std::unique_ptr<ColourButton>, PanelController::kChannelButtonCount> channelButtons_;
    // The port goes after the controller, which holds it.
    CSerialPortFacade port_;
    PanelController controller_;
    HWND levelSlider_ = nullptr;
    HWND modeButtons_[2] = {nullptr, nullptr};
    HWND portButton_ = nullptr;
    HWND portTip_ = nullptr;
    HDEVNOTIFY portNotification_ = nullptr;
    // The bare names of the list's entries; each entry's data is its name's place here.
    std::vector<std::string> portNames_;
    int droppedWidth_ = 0;
};
