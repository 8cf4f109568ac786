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
};
