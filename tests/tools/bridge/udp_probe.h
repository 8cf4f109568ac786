#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

// A UDP socket of the test's own on a loopback address: sends datagrams to the bridge and receives
// its answers. Addresses are dotted text.
class UdpProbe {
public:
    // Bound to address:port (port 0: any), shared with other sockets on it as Art-Net software does.
    explicit UdpProbe(const std::string& address = "", std::uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || address.empty()) {
            return;
        }
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in local = endpoint(address, port);
        bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    ~UdpProbe() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    bool bound() const { return bound_; }

    bool send(const std::vector<std::uint8_t>& bytes, const std::string& address, std::uint16_t port) {
        const sockaddr_in to = endpoint(address, port);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(bytes.size());
    }

    // The next datagram within the time, or nothing (empty).
    std::vector<std::uint8_t> receive(int limitMs) {
        pollfd watched{fd_, POLLIN, 0};
        std::vector<std::uint8_t> datagram(2048);
        if (poll(&watched, 1, limitMs) <= 0) {
            return {};
        }
        const ssize_t got = ::recv(fd_, datagram.data(), datagram.size(), 0);
        datagram.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return datagram;
    }

private:
    static sockaddr_in endpoint(const std::string& address, std::uint16_t port) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &in.sin_addr);
        return in;
    }

    int fd_ = -1;
    bool bound_ = false;
};
