#include "serial/serial_status.h"

namespace {

// Indexed by code + 1. "innet error" is the library's own wording and callers may match on it.
const char* const kMessages[] = {
    "unknown error",       "success",
    "general error",       "not implemented error",
    "innet error",         "null pointer error",
    "invalid param error", "access denied error",
    "out of memory error", "timeout error",
    "not init error",      "init failed error",
    "already exist error", "not exist error",
    "already open error",  "not open error",
    "open failed error",   "close failed error",
    "write failed error",  "read failed error",
};

}  // namespace

const char* serialStatusMessage(std::int32_t code) {
    if (code < -1 || code > 18) {
        return "undefined error code";
    }
    return kMessages[code + 1];
}
