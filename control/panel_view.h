#pragma once

#include <cstdint>
#include <string>

#include "control/port_list.h"

struct Colour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;

    friend bool operator==(const Colour& a, const Colour& b) {
        return a.red == b.red && a.green == b.green && a.blue == b.blue;
    }
    friend bool operator!=(const Colour& a, const Colour& b) { return !(a == b); }
};

// What the panel controller asks of its window. Texts are UTF-8.
class PanelView : public PortList {
public:
    // Paints channel button index (0..24) with the colour and redraws it at once.
    virtual void setButtonFaceColour(int index, Colour colour) = 0;
    // Caption of the group box around the level slider.
    virtual void setChannelCaption(const std::string& text) = 0;
    // The level read-out beside the slider.
    virtual void setLevelText(const std::string& text) = 0;
    virtual void setPortButtonCaption(const std::string& text) = 0;
    virtual void setPortListEnabled(bool enabled) = 0;
    // The chosen entry of the port list, or an empty text when none is chosen.
    virtual std::string chosenPortName() const = 0;
    // True while the port list's drop-down is open, the user in the middle of choosing.
    virtual bool portListDroppedDown() const = 0;
    // A modal box with one OK button and the exclamation icon; returns when the user closes it.
    virtual void showWarning(const std::string& text) = 0;
    // Starts window timer id; starting a running id begins its period anew.
    virtual void startTimer(unsigned int id, unsigned int milliseconds) = 0;
    // Stops window timer id; stopping a timer that does not run does nothing.
    virtual void stopTimer(unsigned int id) = 0;
};
