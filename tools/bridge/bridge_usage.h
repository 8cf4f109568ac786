#pragma once

#include <string>

// The exit code beyond lumenta-send's: the bridge could not listen on the network.
constexpr int kBridgeNetworkFailed = 8;

// The text of lumenta-bridge --help: options, examples and exit codes (the man page says the same).
std::string bridgeUsage();
