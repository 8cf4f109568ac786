#pragma once

#include <windows.h>

#include <setupapi.h>

// The SetupAPI and registry calls that name the system's COM ports. Discovery reaches them only
// through this interface, so that a test can stand in for Device Manager's data where the system at
// hand has none to give (Wine lists no serial devices). Each operation behaves as the function of the
// same name, failures reported by the result and GetLastError().
class SetupApi {
public:
    virtual ~SetupApi() = default;

    virtual HDEVINFO getClassDevs(const GUID* classGuid, DWORD flags) = 0;
    virtual BOOL enumDeviceInfo(HDEVINFO devices, DWORD index, SP_DEVINFO_DATA* device) = 0;
    virtual BOOL getDeviceRegistryProperty(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property,
                                           DWORD* type, BYTE* buffer, DWORD size, DWORD* required) = 0;
    // The device's hardware key (SetupDiOpenDevRegKey, global scope, DIREG_DEV), for reading.
    virtual HKEY openDeviceKey(HDEVINFO devices, SP_DEVINFO_DATA* device) = 0;
    virtual LONG queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) = 0;
    virtual LONG closeKey(HKEY key) = 0;
    virtual BOOL destroyDeviceInfoList(HDEVINFO devices) = 0;
};

// setupapi and advapi32 themselves.
SetupApi& systemSetupApi();
