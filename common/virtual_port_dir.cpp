#include "common/virtual_port_dir.h"

#include <unistd.h>

#include <cstdlib>

std::string virtualPortDirectory() {
    if (const char* forced = std::getenv("LUMENTA_PORT_DIR"); forced != nullptr && *forced != '\0') {
        return forced;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
        return std::string(runtime) + "/lumenta/ports";
    }
    return "/tmp/lumenta-" + std::to_string(getuid()) + "/ports";
}

bool isValidVirtualPortName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '_' || c == '-';
        if (!ok) {
            return false;
        }
    }
    return true;
}
