#include "common/held_back_signal.h"

#include <ctime>

int takeHeldBackSignal(const sigset_t& signals) {
    const timespec now{};
    const int number = sigtimedwait(&signals, nullptr, &now);
    return number > 0 ? number : 0;
}
