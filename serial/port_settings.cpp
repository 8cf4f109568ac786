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
