#include "control/setup_api.h"

namespace {

class SystemSetupApi : public SetupApi {
public:
    HDEVINFO getClassDevs(const GUID* classGuid, DWORD flags) override {
        return SetupDiGetClassDevsW(classGuid, nullptr, nullptr, flags);
    }
    BOOL enumDeviceInfo(HDEVINFO devices, DWORD index, SP_DEVINFO_DATA* device) override {
        return SetupDiEnumDeviceInfo(devices, index, device);
    }
    BOOL getDeviceRegistryProperty(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                   BYTE* buffer, DWORD size, DWORD* required) override {
        return SetupDiGetDeviceRegistryPropertyW(devices, device, property, type, buffer, size, required);
    }
    HKEY openDeviceKey(HDEVINFO devices, SP_DEVINFO_DATA* device) override {
        return SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    }
    LONG queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) override {
        return RegQueryValueExW(key, name, nullptr, type, data, size);
    }
    LONG closeKey(HKEY key) override { return RegCloseKey(key); }
    BOOL destroyDeviceInfoList(HDEVINFO devices) override { return SetupDiDestroyDeviceInfoList(devices); }
};

}  // namespace

SetupApi& systemSetupApi() {
    static SystemSetupApi api;
    return api;
}
