#pragma once

#include <string>

#include "control/dimmer_frame.h"
#include "tools/cli/command_line.h"

// Options that lumenta-send and lumenta-bridge read alike.

// --port NAME: required, 1..255 characters. program names the tool in the hint for a missing port.
bool readPortOption(const CommandLine& line, const std::string& program, std::string& port,
                    std::string& error);

// --mode H|L: optional (H when not given); h and l are accepted.
bool readModeOption(const CommandLine& line, DimmerMode& mode, std::string& error);

// --list and --version stand alone. which gets the one given, or stays empty when neither is; false
// when one comes with other options.
bool readStandaloneFlag(const CommandLine& line, std::string& which, std::string& error);
