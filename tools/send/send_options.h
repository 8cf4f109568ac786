#pragma once

#include <cstdint>
#include <string>

#include "control/dimmer_frame.h"

// What the command line of lumenta-send asks for.
struct SendOptions {
    enum class Action { Send, List, Help, Version };

    Action action = Action::Send;
    std::string port;
    std::uint8_t channel = 0;  // 0 = all channels, 1..24 that channel
    std::uint8_t level = 0;
    DimmerMode mode = DimmerMode::H;
};

// Reads the command line. Options take their value as the next argument or after '='
// (--level 128, --level=128). Every value is checked here, before any port is touched:
//   --port NAME          required for sending; 1..255 characters
//   --channel N          1..24, or --all (exactly one of the two)
//   --level N            0..255, required, decimal digits only
//   --mode H|L           optional, default H; h and l are accepted
//   --list, --help (-h), --version   alone (--help wins over anything else)
// False with a one-line reason in error when the command line is not a valid request.
bool parseSendOptions(int argc, const char* const* argv, SendOptions& options, std::string& error);
