#pragma once

#include <string>

// The text of lumenta-send --help: options, examples and exit codes (the man page says the same).
std::string sendUsage();
