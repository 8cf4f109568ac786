#include "tools/send/port_argument.h"

#include <algorithm>
#include <cctype>

namespace {

bool sameName(const std::string& a, const std::string& b, bool ignoreCase) {
    if (!ignoreCase) {
        return a == b;
    }
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::vector<std::string> listedPorts(PortProbe& probe) {
    std::vector<std::string> names = probe.presentPortNames();
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::optional<std::string> findListedPort(const std::string& given, const std::vector<std::string>& listed,
                                          const PortNaming& naming) {
    std::string bare = given;
    const std::string& prefix = naming.devicePrefix;
    if (!prefix.empty() && given.size() > prefix.size() &&
        sameName(given.substr(0, prefix.size()), prefix, naming.ignoreCase)) {
        bare = given.substr(prefix.size());
    }
    for (const std::string& name : listed) {
        if (sameName(bare, name, naming.ignoreCase)) {
            return name;
        }
    }
    const std::string behind = naming.deviceBehind ? naming.deviceBehind(given) : std::string();
    if (!behind.empty() && behind != bare) {
        for (const std::string& name : listed) {
            if (sameName(behind, name, naming.ignoreCase)) {
                return name;
            }
        }
    }
    return std::nullopt;
}
