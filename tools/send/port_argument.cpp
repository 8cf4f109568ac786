#include "tools/send/port_argument.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

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

std::string unknownPortMessage(const std::string& given, const std::vector<std::string>& listed,
                               const std::string& program) {
    std::string known = listed.empty() ? "no serial ports are listed" : "the ports are:";
    for (const std::string& name : listed) {
        known += " " + name;
    }
    const std::string note = unlistedPortsNote(given);
    return "unknown port '" + given + "'; " + known + " (" + program + " --list)" +
           (note.empty() ? "" : "\n" + note);
}

std::string listedPortsText(PortProbe& probe) {
    const std::vector<std::string> ports = listedPorts(probe);
    std::size_t width = 0;
    for (const std::string& name : ports) {
        width = std::max(width, name.size());
    }
    std::string text;
    for (const std::string& name : ports) {
        const std::string description = probe.portDescription(name);
        text += description.empty() ? name : name + std::string(width - name.size() + 2, ' ') + description;
        text += '\n';
    }
    return text;
}

void printListedPorts(PortProbe& probe, const std::string& program) {
    const std::string ports = listedPortsText(probe);
    std::fputs(ports.c_str(), stdout);
    if (ports.empty()) {
        std::fprintf(stderr, "%s: no serial ports found\n", program.c_str());
    }
    if (const std::string note = unlistedPortsNote(); !note.empty()) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), note.c_str());
    }
}
