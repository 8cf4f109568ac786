#pragma once

#include <string>

// A list of serial port names that keeps its entries in ascending text order by itself
// (COM1, COM10, COM2) and has at most one chosen entry.
class PortList {
public:
    virtual ~PortList() = default;

    // Removes every entry; afterwards nothing is chosen.
    virtual void clearPortList() = 0;
    // Inserts one entry at its place in text order.
    virtual void addPortName(const std::string& name) = 0;
    virtual int portNameCount() const = 0;
    // Chooses entry index, counted from 0 in the list's order.
    virtual void selectPortName(int index) = 0;
    // The index of the entry with exactly this name, or -1.
    virtual int findPortName(const std::string& name) const = 0;
    // What the device behind the entry of that name is ("FTDI FT232R USB UART"), for the user's eyes
    // only: the entry's name stays what the port is opened by. A list may leave it unshown.
    virtual void setPortDescription(const std::string& /*name*/, const std::string& /*description*/) {}
};
