#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "tools/bridge/dimmer_levels.h"

// What the bridge has done so far, as its status shows it.
struct BridgeCounters {
    std::uint64_t packets = 0;        // every datagram received
    std::uint64_t bad = 0;            // not Art-Net or E1.31, or fields that do not add up
    std::uint64_t ignored = 0;        // well-formed but of no use here (other operations, preview data)
    std::uint64_t otherUniverse = 0;  // for a universe the bridge does not take
    std::uint64_t outOfOrder = 0;     // dropped by their sequence number
    std::uint64_t framesSent = 0;
    std::uint64_t levelsDropped = 0;  // levels overtaken by newer ones before they were sent
    // Refused, by the senders they came from:
    std::uint64_t notAllowed = 0;           // from an address that --allow leaves out
    std::uint64_t wrongAddress = 0;         // an sACN CID sent from another address than its own
    std::uint64_t turnedAwayAddress = 0;    // a new source from an address that has its sources already
    std::uint64_t turnedAwayTableFull = 0;  // a new source while every tracked one has its priority or more
    std::size_t sources = 0;
    std::string controllingSource;  // empty when no source is there
    bool portLost = false;          // the dimmer's port has gone; the bridge waits for it
    DimmerLevels levels{};
};

bool operator==(const BridgeCounters& a, const BridgeCounters& b);

// "packets 12  bad 0  ignored 0  other universes 0  out of order 0  frames 30  dropped 2" on one
// line; once anything was refused, a line that says what and why; then the sources (and a port that
// has gone) and the 24 levels on three more.
std::string statusBlock(const BridgeCounters& counters);
// All of it on one line, for a log: "packets 12 bad 0 ... levels 0 0 255 ... source QLC+ (sACN, ...)".
std::string statusLine(const BridgeCounters& counters);

// Shows the status as it changes: redrawn in place on a terminal (at most ten times a second), a
// line at most once a second into a pipe or a log, or not at all.
class StatusDisplay {
public:
    enum class Style { Live, Log, Off };

    StatusDisplay(Style style, std::FILE* out) : style_(style), out_(out) {}

    // Shows the counters if they changed and the last showing is long enough ago. When a change
    // waits to be shown, the time to call again.
    std::optional<BridgeClock::time_point> update(const BridgeCounters& counters,
                                                  BridgeClock::time_point now);
    // Shows the last counters, whatever the time (not when Off).
    void finish(const BridgeCounters& counters);
    // Something else was printed on the terminal: the next status is drawn below it, not over it.
    void interrupted() { linesDrawn_ = 0; }

private:
    void show(const BridgeCounters& counters);

    Style style_;
    std::FILE* out_;
    std::optional<BridgeCounters> shown_;
    BridgeClock::time_point shownAt_{};
    int linesDrawn_ = 0;
};

// Whether standard output is a terminal that can redraw the status in place.
bool outputIsLiveTerminal();
