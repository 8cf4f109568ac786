#include "serial/port_settings.h"

#include <algorithm>

namespace {

// The longest character on the line: a start bit, eight data bits, parity and two stop bits.
constexpr long long kBitsPerCharacter = 12;

}  // namespace

void copyPortName(char (&field)[kPortNameCapacity], const char* name) {
    unsigned int i = 0;
    if (name != nullptr) {
        for (; i + 1 < kPortNameCapacity && name[i] != '\0'; ++i) {
            field[i] = name[i];
        }
    }
    field[i] = '\0';
}

bool dataBitsFitStopBits(std::int32_t dataBits, StopBits stopBits) {
    return (dataBits == 5 && stopBits != StopBits::Two) ||
           (dataBits >= 6 && dataBits <= 8 && stopBits != StopBits::OneAndHalf);
}

bool stopBitsFitDataBits(StopBits stopBits, std::int32_t dataBits) {
    return stopBits == StopBits::One || (stopBits == StopBits::OneAndHalf && dataBits == 5) ||
           (stopBits == StopBits::Two && dataBits != 5);
}

int writeStallLimitMs(std::int32_t baudRate) {
    constexpr long long kOutputBufferBytes = 4096;
    const long long rate = baudRate > 0 ? baudRate : 1;
    const long long bufferMs = kOutputBufferBytes * kBitsPerCharacter * 1000 / rate;
    return static_cast<int>(std::min<long long>(1000 + 2 * bufferMs, 24LL * 3600 * 1000));
}

int closeStallLimitMs(std::int32_t baudRate) {
    const long long rate = baudRate > 0 ? baudRate : 1;
    return static_cast<int>(std::min<long long>(200 + 4 * kBitsPerCharacter * 1000 / rate, 60 * 1000));
}
