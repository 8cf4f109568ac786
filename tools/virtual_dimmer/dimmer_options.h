#pragma once

#include <string>

// Command line of both front ends of the virtual dimmer.
struct DimmerOptions {
    // Sorts after the names of real serial ports (ttyS0, ttyUSB0), so the panel chooses it.
    std::string portName = "vdimmer";
    bool printPort = false;  // print pty=PATH, port=NAME and link=PATH lines on start, even when quiet
    bool quiet = false;      // no banner, no frames, no table (the window front end has none anyway)
    bool help = false;
    bool version = false;
};

// False with a message in error for an unknown option or a missing value.
bool parseDimmerOptions(int argc, char** argv, DimmerOptions& options, std::string& error);

std::string dimmerUsage(const char* program);
