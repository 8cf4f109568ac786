#include "serial/port_settings.h"

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
