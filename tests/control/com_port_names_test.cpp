// Device Manager's names for COM ports, through a scripted stand-in for SetupAPI: Wine's lists no
// device of the Ports class.
#include "control/com_port_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "control/windows_port_probe.h"
#include "tests/control/fake_panel.h"

namespace {

struct Device {
    const wchar_t* portName;  // null: the device has no PortName value
    const wchar_t* friendlyName;
    const wchar_t* deviceDesc;
};

// Plays SetupAPI over a list of devices: the device's index is its DevInst and its key's handle.
class ScriptedSetupApi : public SetupApi {
public:
    std::vector<Device> devices;
    GUID askedClass{};
    DWORD askedFlags = 0;
    int listsOpen = 0;
    int keysOpen = 0;

    HDEVINFO getClassDevs(const GUID* classGuid, DWORD flags) override {
        askedClass = *classGuid;
        askedFlags = flags;
        ++listsOpen;
        return reinterpret_cast<HDEVINFO>(0x5E7);
    }
    BOOL enumDeviceInfo(HDEVINFO, DWORD index, SP_DEVINFO_DATA* device) override {
        if (index >= devices.size() || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_NO_MORE_ITEMS);
            return FALSE;
        }
        device->DevInst = index;
        return TRUE;
    }
    BOOL getDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                   BYTE* buffer, DWORD size, DWORD* required) override {
        const Device& d = devices[device->DevInst];
        const wchar_t* text = property == SPDRP_FRIENDLYNAME ? d.friendlyName
                              : property == SPDRP_DEVICEDESC ? d.deviceDesc
                                                             : nullptr;
        return give(text, type, buffer, size, required) == ERROR_SUCCESS;
    }
    HKEY openDeviceKey(HDEVINFO, SP_DEVINFO_DATA* device) override {
        ++keysOpen;
        return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(device->DevInst + 1));
    }
    LONG queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) override {
        const Device& d = devices[reinterpret_cast<std::uintptr_t>(key) - 1];
        DWORD required = 0;
        const LONG result =
            give(std::wcscmp(name, L"PortName") == 0 ? d.portName : nullptr, type, data, *size, &required);
        *size = required;
        return result;
    }
    LONG closeKey(HKEY) override {
        --keysOpen;
        return ERROR_SUCCESS;
    }
    BOOL destroyDeviceInfoList(HDEVINFO) override {
        --listsOpen;
        return TRUE;
    }

private:
    static LONG give(const wchar_t* text, DWORD* type, BYTE* buffer, DWORD size, DWORD* required) {
        if (text == nullptr) {
            SetLastError(ERROR_INVALID_DATA);
            return ERROR_FILE_NOT_FOUND;
        }
        const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
        *required = bytes;
        *type = REG_SZ;
        if (bytes > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return ERROR_MORE_DATA;
        }
        std::memcpy(buffer, text, bytes);
        return ERROR_SUCCESS;
    }
};

// The probe with the names the test says are present.
class ProbeOnScript : public WindowsPortProbe {
public:
    using WindowsPortProbe::WindowsPortProbe;
    std::vector<std::string> present;

protected:
    bool deviceExists(const char* name) override {
        return std::find(present.begin(), present.end(), name) != present.end();
    }
};

TEST(ComPortDescriptions, AreDeviceManagersNamesWithoutTheirComSuffix) {
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
    const auto names = comPortDescriptions(api);
    const std::map<std::string, std::string> expected = {
        {"COM3", "USB Serial Port"},     {"COM12", "Prolific USB-to-Serial Comm Port"},
        {"COM4", "Communications Port"}, {"COM6", "Ger\xC3\xA4t mit Tab"},
        {"COM7", std::string(64, 'x')},
    };
    EXPECT_EQ(names, expected);
    const GUID ports = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    EXPECT_TRUE(IsEqualGUID(api.askedClass, ports));
    EXPECT_EQ(api.askedFlags, static_cast<DWORD>(DIGCF_PRESENT));
    EXPECT_EQ(api.listsOpen, 0);
    EXPECT_EQ(api.keysOpen, 0);
}

TEST(WindowsPortProbe, DescribesTheListedPortsAsOfEachScan) {
    ScriptedSetupApi api;
    api.devices = {{L"COM3", L"USB Serial Port (COM3)", nullptr}};
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
