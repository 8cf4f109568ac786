#include "tools/bridge/ipv4_address.h"

#include <vector>

#include "tools/cli/command_line.h"

bool parseNumberList(const std::string& text, char separator, std::initializer_list<unsigned> highest,
                     unsigned* values) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    if (parts.size() != highest.size()) {
        return false;
    }
    const unsigned* limit = highest.begin();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if ((parts[i].size() > 1 && parts[i][0] == '0') || !parseNumber(parts[i], 0, limit[i], values[i])) {
            return false;
        }
    }
    return true;
}

bool parseIpv4(const std::string& text, std::uint32_t& address) {
    unsigned parts[4] = {};
    if (!parseNumberList(text, '.', {255, 255, 255, 255}, parts)) {
        return false;
    }
    address = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    return true;
}

bool parseIpv4Network(const std::string& text, Ipv4Network& block) {
    const std::size_t slash = text.find('/');
    unsigned length = 32;
    const std::string prefix = slash == std::string::npos ? "" : text.substr(slash + 1);
    if (slash != std::string::npos &&
        ((prefix.size() > 1 && prefix[0] == '0') || !parseNumber(prefix, 0, 32, length))) {
        return false;
    }
    std::uint32_t address = 0;
    if (!parseIpv4(text.substr(0, slash), address)) {
        return false;
    }
    block.prefixLength = length;
    block.network = length == 0 ? 0 : address & (~std::uint32_t{0} << (32 - length));
    return true;
}

std::string ipv4Text(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}
