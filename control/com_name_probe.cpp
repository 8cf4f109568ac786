#include "control/com_name_probe.h"

#include <cstdio>

std::vector<std::string> ComNameProbe::presentPortNames() {
    std::vector<std::string> names;
    for (int n = 0; n <= kHighestPortNumber; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", n);
        if (deviceExists(name)) {
            names.emplace_back(name);
        }
    }
    return names;
}
