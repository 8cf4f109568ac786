#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// IPv4 addresses in host byte order, as the bridge's options, status and sockets use them.

// "a.b.c.d": four decimal numbers 0..255, without leading zeros (010 is not read as 8 or as 10).
bool parseIpv4(const std::string& text, std::uint32_t& address);
std::string ipv4Text(std::uint32_t address);

// A block of addresses: those whose first prefixLength bits are the network's.
struct Ipv4Network {
    std::uint32_t network = 0;
    unsigned prefixLength = 32;

    bool contains(std::uint32_t address) const {
        return prefixLength == 0 || (address ^ network) >> (32 - prefixLength) == 0;
    }
};

// "a.b.c.d/n" (n 0..32; the bits beyond the prefix are not looked at) or a single address "a.b.c.d".
bool parseIpv4Network(const std::string& text, Ipv4Network& block);

// Splits text at separator into exactly as many decimal numbers as highest has entries, each within
// its entry; no leading zeros, no signs, no spaces.
bool parseNumberList(const std::string& text, char separator, std::initializer_list<unsigned> highest,
                     unsigned* values);
