#pragma once

#include <memory>
#include <string>

// A pseudo-terminal pair in raw mode: bytes pass both ways untranslated, nothing is echoed.
//
// The master side is non-blocking and belongs to the owner; the slave side is what a serial port
// opens, by its path. We keep a descriptor of our own open on the slave for the whole life of the
// pair, so that the master never sees a hang-up while no program has the port open.
class PseudoTerminal {
public:
    // Nullptr on failure, with the reason in error.
    static std::unique_ptr<PseudoTerminal> open(std::string& error);

    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    PseudoTerminal(int master, int slave, std::string slavePath);

    int master_;
    int slave_;
    std::string slavePath_;
};
