#include "serial/sync.h"

namespace kelso {

void IConditionVariable::wait(IMutex& lock, bool pred) {
    while (!pred) {
        wait(lock);
    }
}

bool IConditionVariable::waitFor(IMutex& lock, unsigned int timeoutMs, bool pred) {
    if (pred) {
        return false;
    }
    while (!waitFor(lock, timeoutMs)) {
    }
    return true;
}

void IConditionVariable::notifyAll() {
    notifyOne();
}

}  // namespace kelso
