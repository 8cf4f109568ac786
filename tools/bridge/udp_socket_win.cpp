// Winsock before windows.h, and mmsystem.h after it.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <atomic>
#include <string>

#include "tools/bridge/udp_socket.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace {

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(address);
    in.sin_port = htons(port);
    return in;
}

std::string socketError() {
    const int code = WSAGetLastError();
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return (message.empty() ? std::string("socket error") : message) + " (" + std::to_string(code) + ")";
}

SOCKET native(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

// Set by the console's control handler, which Windows runs on a thread of its own.
HANDLE stopEvent = nullptr;
std::atomic<bool> stopFlag{false};

BOOL WINAPI onConsoleControl(DWORD) {
    stopFlag = true;
    SetEvent(stopEvent);
    return TRUE;
}

}  // namespace

NetworkSession::NetworkSession() {
    WSADATA data{};
    ready_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    timeBeginPeriod(1);
}

NetworkSession::~NetworkSession() {
    timeEndPeriod(1);
    if (ready_) {
        WSACleanup();
    }
}

std::unique_ptr<UdpSocket> UdpSocket::open(std::uint32_t address, std::uint16_t port, Sharing sharing,
                                           std::string& error) {
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = socketError();
        return nullptr;
    }
    const BOOL on = TRUE;
    u_long nonBlocking = 1;
    const sockaddr_in local = socketAddress(address, port);
    // Exclusive: without SO_EXCLUSIVEADDRUSE, Windows lets any program bind the port over this one.
    const int option = sharing == Sharing::Shared ? SO_REUSEADDR : SO_EXCLUSIVEADDRUSE;
    const int size = static_cast<int>(kReceiveBufferSize);
    if (setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        error = socketError();
        closesocket(s);
        return nullptr;
    }
    // A reply that met a closed port would otherwise fail the next receive with "connection reset".
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    return std::unique_ptr<UdpSocket>(new UdpSocket(static_cast<std::intptr_t>(s)));
}

UdpSocket::~UdpSocket() {
    closesocket(native(handle_));
}

std::size_t UdpSocket::receiveBufferSize() const {
    int size = 0;
    int length = sizeof size;
    if (getsockopt(native(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length) != 0 ||
        size < 0) {
        return 0;
    }
    return static_cast<std::size_t>(size);
}

bool UdpSocket::joinGroup(std::uint32_t group, std::string& error) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(native(handle_), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&request),
                   sizeof request) != 0) {
        error = socketError();
        return false;
    }
    return true;
}

std::optional<std::size_t> UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, UdpEndpoint& from) {
    for (;;) {
        sockaddr_in sender{};
        int senderSize = sizeof sender;
        const int got =
            ::recvfrom(native(handle_), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                       reinterpret_cast<sockaddr*>(&sender), &senderSize);
        const int failure = got == SOCKET_ERROR ? WSAGetLastError() : 0;
        if (failure == WSAECONNRESET) {
            continue;  // an old report about a datagram sent earlier, not one received
        }
        if (got == SOCKET_ERROR && failure != WSAEMSGSIZE) {
            return std::nullopt;
        }
        from.address = ntohl(sender.sin_addr.s_addr);
        from.port = ntohs(sender.sin_port);
        // Winsock does not tell the size of a datagram that did not fit, only that it did not.
        return got == SOCKET_ERROR ? capacity + 1 : static_cast<std::size_t>(got);
    }
}

bool UdpSocket::sendTo(const std::uint8_t* data, std::size_t size, const UdpEndpoint& to) {
    const sockaddr_in peer = socketAddress(to.address, to.port);
    return ::sendto(native(handle_), reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                    reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == static_cast<int>(size);
}

std::uint32_t localAddressToward(std::uint32_t peer) {
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        return 0;
    }
    // Connecting a datagram socket only picks the route.
    const sockaddr_in remote = socketAddress(peer, 9);
    sockaddr_in local{};
    int localSize = sizeof local;
    std::uint32_t address = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &localSize) == 0) {
        address = ntohl(local.sin_addr.s_addr);
    }
    closesocket(s);
    return address;
}

// One event for every socket's "datagram waiting", one for the stop request.
struct StopRequest::State {
    WSAEVENT readable = WSA_INVALID_EVENT;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
    stopFlag = false;
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state_->readable = WSACreateEvent();
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    if (state_->readable != WSA_INVALID_EVENT) {
        WSACloseEvent(state_->readable);
    }
    CloseHandle(stopEvent);
    stopEvent = nullptr;
}

bool StopRequest::requested() const {
    return stopFlag;
}

bool waitForDatagrams(const std::vector<UdpSocket*>& sockets, StopRequest& stop,
                      std::optional<BridgeClock::duration> timeout) {
    if (stop.requested()) {
        return false;
    }
    WSAEVENT readable = stop.state_->readable;
    // The event is cleared first: the caller has taken every datagram that waited, and a datagram that
    // arrives from here on sets it again.
    WSAResetEvent(readable);
    for (UdpSocket* socket : sockets) {
        WSAEventSelect(native(socket->handle()), readable, FD_READ);
    }
    DWORD limit = INFINITE;
    if (timeout) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(*timeout).count();
        limit = us <= 0 ? 0 : static_cast<DWORD>((us + 999) / 1000);
    }
    const HANDLE events[2] = {readable, stopEvent};
    WaitForMultipleObjects(2, events, FALSE, limit);
    return !stop.requested();
}
