#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "control/panel_port.h"
#include "control/panel_view.h"
#include "control/port_discovery.h"

// A window that records what the controller asks of it. Timers do not tick by themselves: a test
// fires them with fireTimer, so time is under the test's control.
class FakePanelView : public PanelView {
public:
    std::vector<std::pair<int, Colour>> faceColours;  // every setButtonFaceColour, in order
    std::string channelCaption = "(template)";
    std::string levelText = "Static";
    std::string portButtonCaption = "Open Port";
    bool portListEnabled = true;
    std::vector<std::string> warnings;
    std::map<unsigned int, unsigned int> runningTimers;  // id -> period
    int timerStarts = 0;

    std::vector<std::string> entries;  // kept sorted, like the real list
    std::map<std::string, std::string> descriptions;
    int chosen = -1;
    bool droppedDown = false;
    int rebuilds = 0;

    void setButtonFaceColour(int index, Colour colour) override { faceColours.emplace_back(index, colour); }
    void setChannelCaption(const std::string& text) override { channelCaption = text; }
    void setLevelText(const std::string& text) override { levelText = text; }
    void setPortButtonCaption(const std::string& text) override { portButtonCaption = text; }
    void setPortListEnabled(bool enabled) override { portListEnabled = enabled; }
    std::string chosenPortName() const override { return chosen >= 0 ? entries[chosen] : std::string(); }
    bool portListDroppedDown() const override { return droppedDown; }
    void showWarning(const std::string& text) override { warnings.push_back(text); }
    void startTimer(unsigned int id, unsigned int ms) override {
        runningTimers[id] = ms;
        ++timerStarts;
    }
    void stopTimer(unsigned int id) override { runningTimers.erase(id); }

    void clearPortList() override {
        entries.clear();
        descriptions.clear();
        chosen = -1;
        ++rebuilds;
    }
    void addPortName(const std::string& name) override {
        entries.insert(std::upper_bound(entries.begin(), entries.end(), name), name);
    }
    int portNameCount() const override { return static_cast<int>(entries.size()); }
    void selectPortName(int index) override { chosen = index; }
    int findPortName(const std::string& name) const override {
        const auto at = std::find(entries.begin(), entries.end(), name);
        return at == entries.end() ? -1 : static_cast<int>(at - entries.begin());
    }
    void setPortDescription(const std::string& name, const std::string& description) override {
        descriptions[name] = description;
    }
    // The user picks an entry by its name.
    void choose(const std::string& name) { chosen = findPortName(name); }

    bool timerRunning(unsigned int id) const { return runningTimers.count(id) != 0; }
};

// A port that opens when told to and keeps every write.
class FakePanelPort : public PanelPort {
public:
    bool opens = true;
    bool open_ = false;
    std::string initName;
    std::vector<std::int32_t> initNumbers;
    int initCalls = 0;
    int openCalls = 0;
    int closeCalls = 0;
    std::vector<std::vector<std::uint8_t>> writes;  // accepted writes
    int refusedWrites = 0;
    bool writeFails = false;  // a write fails although the port stays open (a timeout)

    void init(const char* name, std::int32_t baud, std::int32_t parity, std::int32_t dataBits,
              std::int32_t stopBits, std::int32_t flow, std::uint32_t bufferSize) override {
        ++initCalls;
        initName = name;
        initNumbers = {baud, parity, dataBits, stopBits, flow, static_cast<std::int32_t>(bufferSize)};
    }
    bool open() override {
        ++openCalls;
        open_ = opens;
        return open_;
    }
    void close() override {
        ++closeCalls;
        open_ = false;
    }
    bool isOpen() override { return open_; }
    std::int32_t write(const char* data, std::int32_t size) override {
        if (!open_ || writeFails) {
            ++refusedWrites;
            return -1;
        }
        writes.emplace_back(reinterpret_cast<const std::uint8_t*>(data),
                            reinterpret_cast<const std::uint8_t*>(data) + size);
        return size;
    }
};

// A probe that lists a fixed set of names, some with a description.
class FixedProbe : public PortProbe {
public:
    std::vector<std::string> names;
    std::map<std::string, std::string> descriptions;
    std::vector<std::string> presentPortNames() override { return names; }
    std::string portDescription(const std::string& name) override {
        const auto found = descriptions.find(name);
        return found == descriptions.end() ? std::string() : found->second;
    }
};
