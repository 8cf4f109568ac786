#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tools/bridge/bridge_status.h"

bool outputIsLiveTerminal() {
    const char* term = std::getenv("TERM");
    return isatty(STDOUT_FILENO) == 1 && term != nullptr && std::strcmp(term, "dumb") != 0;
}
