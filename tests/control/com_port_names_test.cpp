// Device Manager's names for COM ports, through a scripted stand-in for SetupAPI: Wine's lists no
// device of the Ports class.
#include "control/com_port_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "control/windows_port_probe.h"
#include "tests/control/fake_panel.h"

namespace {

struct Device {
    const wchar_t* portName;  // null: the device has no PortName value
    const wchar_t* friendlyName;
    const wchar_t* deviceDesc;
};

// Plays SetupAPI over a list of devices: a device's index is its DevInst and, plus one, its key.
class ScriptedSetupApi : public SetupApi {
public:
    std::vector<Device> devices;
    GUID askedClass{};
    DWORD askedFlags = 0;
    int open = 0;  // device lists and keys not yet closed

    HDEVINFO getClassDevs(const GUID* classGuid, DWORD flags) override {
        askedClass = *classGuid;
        askedFlags = flags;
        ++open;
        return reinterpret_cast<HDEVINFO>(0x5E7);
    }
    BOOL enumDeviceInfo(HDEVINFO, DWORD index, SP_DEVINFO_DATA* device) override {
        device->DevInst = index;
        return index < devices.size();
    }
    BOOL getDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                   BYTE* buffer, DWORD size, DWORD* required) override {
        const Device& d = devices[device->DevInst];
        return give(property == SPDRP_FRIENDLYNAME ? d.friendlyName
                    : property == SPDRP_DEVICEDESC ? d.deviceDesc
                                                   : nullptr,
                    type, buffer, size, required) == ERROR_SUCCESS;
    }
    HKEY openDeviceKey(HDEVINFO, SP_DEVINFO_DATA* device) override {
        ++open;
        return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(device->DevInst + 1));
    }
    LONG queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) override {
        const Device& d = devices[reinterpret_cast<std::uintptr_t>(key) - 1];
        return give(std::wcscmp(name, L"PortName") == 0 ? d.portName : nullptr, type, data, *size, size);
    }
    LONG closeKey(HKEY) override { return --open, ERROR_SUCCESS; }
    BOOL destroyDeviceInfoList(HDEVINFO) override { return --open, TRUE; }

private:
    static LONG give(const wchar_t* text, DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
        if (text == nullptr) {
            return SetLastError(ERROR_INVALID_DATA), ERROR_FILE_NOT_FOUND;
        }
        const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
        *required = bytes;
        *type = REG_SZ;
        if (bytes > size) {
            return SetLastError(ERROR_INSUFFICIENT_BUFFER), ERROR_MORE_DATA;
        }
        std::memcpy(buffer, text, bytes);
        return ERROR_SUCCESS;
    }
};

// The probe, with the names the test says the object manager knows.
class ProbeOnScript : public WindowsPortProbe {
public:
    using WindowsPortProbe::WindowsPortProbe;
    std::vector<std::string> present;

protected:
    bool deviceExists(const char* name) override {
        return std::find(present.begin(), present.end(), name) != present.end();
    }
};

TEST(WindowsPortProbe, DescribesEachPortAsDeviceManagerNamesIt) {
    const std::wstring longName(300, L'x');
    ScriptedSetupApi api;
    api.devices = {
        {L"COM3", L"USB Serial Port (COM3)", L"USB Serial Port"},
        {L"COM12", L"Prolific USB-to-Serial Comm Port (COM12)", nullptr},
        {L"COM4", nullptr, L"Communications Port"},          // no friendly name: the description
        {L"COM5", L"COM5", nullptr},                         // names nothing but the port
        {nullptr, L"Modem without a port (COM9)", nullptr},  // no PortName: not a port we list
        {L"COM6", L"  Ger\u00e4t\tmit Tab (COM6)", nullptr},
        {L"COM7", longName.c_str(), nullptr},  // beyond the first buffer: read again, then cut
    };
    EXPECT_EQ(comPortDescriptions(api), (std::map<std::string, std::string>{
                                            {"COM3", "USB Serial Port"},
                                            {"COM12", "Prolific USB-to-Serial Comm Port"},
                                            {"COM4", "Communications Port"},
                                            {"COM6", "Ger\xC3\xA4t mit Tab"},
                                            {"COM7", std::string(64, 'x')},
                                        }));
    const GUID ports = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    EXPECT_TRUE(IsEqualGUID(api.askedClass, ports));
    EXPECT_EQ(api.askedFlags, static_cast<DWORD>(DIGCF_PRESENT));
    EXPECT_EQ(api.open, 0) << "every list and key closed";

    // Through the probe into a list, anew at each scan.
    ProbeOnScript probe(api);
    probe.present = {"COM3", "COM10"};
    FakePanelView list;
    refreshPortList(list, probe);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"COM10", "COM3"}));
    EXPECT_EQ(list.descriptions, (std::map<std::string, std::string>{{"COM3", "USB Serial Port"}}));
    api.devices = {{L"COM10", L"Silicon Labs CP210x USB to UART Bridge (COM10)", nullptr}};
    refreshPortList(list, probe);
    EXPECT_EQ(list.descriptions,
              (std::map<std::string, std::string>{{"COM10", "Silicon Labs CP210x USB to UART Bridge"}}));
}

}  // namespace
