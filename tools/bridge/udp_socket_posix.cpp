#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/held_back_signal.h"
#include "tools/bridge/udp_socket.h"

namespace {

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(address);
    in.sin_port = htons(port);
    return in;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int number) {
    stopSignal = number;
}

}  // namespace

NetworkSession::NetworkSession() : ready_(true) {}
NetworkSession::~NetworkSession() = default;

std::unique_ptr<UdpSocket> UdpSocket::open(std::uint32_t address, std::uint16_t port, Sharing sharing,
                                           std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    const int on = 1;
    const sockaddr_in local = socketAddress(address, port);
    if ((sharing == Sharing::Shared && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    // net.core.rmem_max caps what a program may ask for; with CAP_NET_ADMIN the cap can be passed.
    std::unique_ptr<UdpSocket> socket(new UdpSocket(fd));
    const int size = static_cast<int>(kReceiveBufferSize);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    if (socket->receiveBufferSize() < kReceiveBufferSize) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    }
    return socket;
}

std::size_t UdpSocket::receiveBufferSize() const {
    int size = 0;
    socklen_t length = sizeof size;
    if (getsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVBUF, &size, &length) != 0 || size < 0) {
        return 0;
    }
    // Linux reports twice what was asked for: the other half is its own bookkeeping.
    return static_cast<std::size_t>(size) / 2;
}

UdpSocket::~UdpSocket() {
    ::close(static_cast<int>(handle_));
}

bool UdpSocket::joinGroup(std::uint32_t group, std::string& error) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(static_cast<int>(handle_), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

std::optional<std::size_t> UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, UdpEndpoint& from) {
    sockaddr_in sender{};
    socklen_t senderSize = sizeof sender;
    // MSG_TRUNC: the result is the datagram's full size, also when it did not fit.
    const ssize_t got = ::recvfrom(static_cast<int>(handle_), buffer, capacity, MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&sender), &senderSize);
    if (got < 0) {
        return std::nullopt;
    }
    from.address = ntohl(sender.sin_addr.s_addr);
    from.port = ntohs(sender.sin_port);
    return static_cast<std::size_t>(got);
}

bool UdpSocket::sendTo(const std::uint8_t* data, std::size_t size, const UdpEndpoint& to) {
    const sockaddr_in peer = socketAddress(to.address, to.port);
    return ::sendto(static_cast<int>(handle_), data, size, 0, reinterpret_cast<const sockaddr*>(&peer),
                    sizeof peer) == static_cast<ssize_t>(size);
}

std::uint32_t localAddressToward(std::uint32_t peer) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    // Connecting a datagram socket only picks the route.
    const sockaddr_in remote = socketAddress(peer, 9);
    sockaddr_in local{};
    socklen_t localSize = sizeof local;
    std::uint32_t address = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) == 0) {
        address = ntohl(local.sin_addr.s_addr);
    }
    ::close(fd);
    return address;
}

// The stop signals are blocked except while the program waits in ppoll, so that one arriving just
// before the wait is not lost: it interrupts the wait at once. One that comes while datagrams keep
// every wait short is taken after the wait.
struct StopRequest::State {
    sigset_t stopSignals;
    sigset_t waitMask;
    sigset_t previousMask;
    struct sigaction previous[3];
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
    stopSignal = 0;
    sigemptyset(&state_->stopSignals);
    for (int number : kStopSignals) {
        sigaddset(&state_->stopSignals, number);
    }
    pthread_sigmask(SIG_BLOCK, &state_->stopSignals, &state_->previousMask);
    state_->waitMask = state_->previousMask;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) {
        sigdelset(&state_->waitMask, kStopSignals[i]);
        sigaction(kStopSignals[i], &action, &state_->previous[i]);
    }
}

StopRequest::~StopRequest() {
    for (int i = 0; i < 3; ++i) {
        sigaction(kStopSignals[i], &state_->previous[i], nullptr);
    }
    pthread_sigmask(SIG_SETMASK, &state_->previousMask, nullptr);
}

bool StopRequest::requested() const {
    return stopSignal != 0;
}

bool waitForDatagrams(const std::vector<UdpSocket*>& sockets, StopRequest& stop,
                      std::optional<BridgeClock::duration> timeout) {
    if (stop.requested()) {
        return false;
    }
    std::vector<pollfd> watched;
    for (const UdpSocket* socket : sockets) {
        watched.push_back({static_cast<int>(socket->handle()), POLLIN, 0});
    }
    timespec limit{};
    if (timeout) {
        const auto ns =
            std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count());
        limit.tv_sec = static_cast<time_t>(ns / 1000000000);
        limit.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    ppoll(watched.data(), watched.size(), timeout ? &limit : nullptr, &stop.state_->waitMask);
    if (const int number = takeHeldBackSignal(stop.state_->stopSignals)) {
        onStopSignal(number);
    }
    return !stop.requested();
}
