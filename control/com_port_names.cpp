#include "control/com_port_names.h"

#include <algorithm>
#include <vector>

namespace {

// The Ports (COM and LPT) device setup class.
constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr std::size_t kLongestText = 64;

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

// A REG_SZ as the system stored it: it may lack its terminating zero, or hold more after it.
std::wstring stringValue(const std::vector<BYTE>& data, DWORD size) {
    const auto* chars = reinterpret_cast<const wchar_t*>(data.data());
    std::wstring text(chars, size / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

std::wstring deviceProperty(SetupApi& api, HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<BYTE> data(512);
    DWORD type = 0;
    DWORD required = 0;
    bool read = api.getDeviceRegistryProperty(devices, &device, property, &type, data.data(),
                                              static_cast<DWORD>(data.size()), &required);
    if (!read && GetLastError() == ERROR_INSUFFICIENT_BUFFER && required > data.size() && required <= 65536) {
        data.resize(required);
        read = api.getDeviceRegistryProperty(devices, &device, property, &type, data.data(), required,
                                             &required);
    }
    if (!read || type != REG_SZ) {
        return {};
    }
    return stringValue(data, std::min<DWORD>(required, static_cast<DWORD>(data.size())));
}

std::wstring portName(SetupApi& api, HDEVINFO devices, SP_DEVINFO_DATA& device) {
    const HKEY key = api.openDeviceKey(devices, &device);
    if (key == nullptr || key == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<BYTE> data(64);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    const bool read =
        api.queryValue(key, L"PortName", &type, data.data(), &size) == ERROR_SUCCESS && type == REG_SZ;
    api.closeKey(key);
    return read ? stringValue(data, std::min<DWORD>(size, static_cast<DWORD>(data.size()))) : std::wstring();
}

// "USB Serial Port (COM3)" -> "USB Serial Port"; control characters become spaces.
std::wstring plainDescription(std::wstring text, const std::wstring& name) {
    const std::wstring suffix = L" (" + name + L")";
    if (text.size() > suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
        text.resize(text.size() - suffix.size());
    }
    for (wchar_t& c : text) {
        if (c < 0x20 || c == 0x7F) {
            c = L' ';
        }
    }
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos || text == name) {
        return {};
    }
    text = text.substr(first, text.find_last_not_of(L' ') - first + 1);
    if (text.size() > kLongestText) {
        // Not between the two halves of a character beyond the first plane.
        const bool split = text[kLongestText - 1] >= 0xD800 && text[kLongestText - 1] <= 0xDBFF;
        text.resize(split ? kLongestText - 1 : kLongestText);
    }
    return text;
}

}  // namespace

std::map<std::string, std::string> comPortDescriptions(SetupApi& api) {
    std::map<std::string, std::string> descriptions;
    const HDEVINFO devices = api.getClassDevs(&kPortsClass, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return descriptions;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; api.enumDeviceInfo(devices, index, &device); ++index) {
        const std::wstring name = portName(api, devices, device);
        if (name.empty()) {
            continue;
        }
        std::wstring text = deviceProperty(api, devices, device, SPDRP_FRIENDLYNAME);
        if (plainDescription(text, name).empty()) {
            text = deviceProperty(api, devices, device, SPDRP_DEVICEDESC);
        }
        if (const std::wstring plain = plainDescription(text, name); !plain.empty()) {
            descriptions.emplace(toUtf8(name), toUtf8(plain));
        }
    }
    api.destroyDeviceInfoList(devices);
    return descriptions;
}
