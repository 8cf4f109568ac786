#pragma once

#include <cstdint>

// Why the latest failing port operation failed. A record stays until a later failure replaces it or
// clearStatus resets it; success never touches it.
enum class SerialStatus : std::int32_t {
    UnknownError = -1,
    Success = 0,
    GeneralError = 1,
    NotImplemented = 2,
    InternalError = 3,
    NullPointer = 4,
    InvalidParam = 5,
    AccessDenied = 6,
    OutOfMemory = 7,
    Timeout = 8,
    NotInitialised = 9,
    InitFailed = 10,
    AlreadyExists = 11,
    NotFound = 12,
    AlreadyOpen = 13,
    NotOpen = 14,
    OpenFailed = 15,
    CloseFailed = 16,
    WriteFailed = 17,
    ReadFailed = 18,
};

// The fixed English message of a code; "undefined error code" outside -1..18.
const char* serialStatusMessage(std::int32_t code);
