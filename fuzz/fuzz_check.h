#pragma once

#include <cstdlib>

// Stops the fuzzer with a crash it reports and keeps the input for, when a property does not hold.
inline void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}
