// What Windows tells about a COM port after its open failed. Plain users may open every COM port, so
// "access denied" means another program holds it; a name that opens but whose device takes no query
// (a removed adapter's name that lingers, a mapping under Wine whose other side has gone) has no
// device behind it.
#include <windows.h>

#include "diagnosis/port_problem.h"

namespace {

std::string devicePath(const std::string& portName) {
    return portName.rfind("\\\\.\\", 0) == 0 ? portName : "\\\\.\\" + portName;
}

// Opens the device afresh and asks for its line state. Unknown (true) when it cannot be opened.
bool deviceAnswers(const std::string& portName) {
    const HANDLE device = CreateFileA(devicePath(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    }
    DCB state{};
    state.DCBlength = sizeof state;
    const bool answers = GetCommState(device, &state) != FALSE;
    CloseHandle(device);
    return answers;
}

}  // namespace

PortFacts findPortFacts(const std::string& portName, SerialStatus status) {
    PortFacts facts;
    if (status == SerialStatus::InvalidParam) {
        facts.deviceAnswers = deviceAnswers(portName);
    }
    return facts;
}

bool portDevicePresent(const std::string& portName) {
    char target[512];
    const std::string name = portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0 && deviceAnswers(portName);
}
