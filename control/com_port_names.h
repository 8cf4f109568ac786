#pragma once

#include <map>
#include <string>

#include "control/setup_api.h"

// What Device Manager calls each present COM port, by the port's name: {"COM3": "USB Serial Port"}.
// The device's friendly name without the "(COM3)" it ends in, else its description; a port whose
// device names nothing is left out. Names are UTF-8, printable and at most 64 characters.
std::map<std::string, std::string> comPortDescriptions(SetupApi& api);
