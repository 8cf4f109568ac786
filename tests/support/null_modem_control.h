#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

// Orders the Wine test session's null modem (whose folder LUMENTA_WINE_PORTS names) to pull one end of
// the cable out, as an unplugged adapter: "hang up A" for COM5's end. False when there is no session
// or the order was not taken whole.
inline bool orderNullModem(const char* order) {
    const char* links = std::getenv("LUMENTA_WINE_PORTS");
    if (links == nullptr) {
        return false;
    }
    std::string control = std::string("Z:") + links + "/null-modem-control";
    std::replace(control.begin(), control.end(), '/', '\\');
    const HANDLE orders = CreateFileA(control.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (orders == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::string line = std::string(order) + "\n";
    DWORD written = 0;
    const bool sent = WriteFile(orders, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                      written == line.size();
    CloseHandle(orders);
    return sent;
}
