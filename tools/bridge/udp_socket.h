#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/bridge/dimmer_levels.h"

// UDP over IPv4, as the bridge needs it; one implementation per platform (POSIX sockets, Winsock).
// Addresses and ports are in host byte order.
struct UdpEndpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// The network stack for the life of the program: Winsock's start-up and clean-up (and a 1 ms timer
// resolution, so that the line can be paced); nothing to do on POSIX.
class NetworkSession {
public:
    NetworkSession();
    ~NetworkSession();
    NetworkSession(const NetworkSession&) = delete;
    NetworkSession& operator=(const NetworkSession&) = delete;

    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

// A datagram socket bound to one address and port that never blocks. Shared, it lets other programs
// on this machine bind the same port (SO_REUSEADDR, as lighting software does), also to a more
// specific address, which then gets the unicast datagrams sent there; exclusive, no other socket may.
// It asks for a receive buffer of kReceiveBufferSize, so that a burst waits instead of being dropped.
class UdpSocket {
public:
    enum class Sharing { Shared, Exclusive };
    static constexpr std::size_t kReceiveBufferSize = 4 * 1024 * 1024;

    // Null with the system's reason in error when the socket cannot be made or bound.
    static std::unique_ptr<UdpSocket> open(std::uint32_t address, std::uint16_t port, Sharing sharing,
                                           std::string& error);
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Joins a multicast group on the system's default interface.
    bool joinGroup(std::uint32_t group, std::string& error);
    // Takes the next datagram: its full size, which is above capacity when it did not fit (only
    // capacity bytes are stored then), or nothing when none waits.
    std::optional<std::size_t> receive(std::uint8_t* buffer, std::size_t capacity, UdpEndpoint& from);
    bool sendTo(const std::uint8_t* data, std::size_t size, const UdpEndpoint& to);

    std::intptr_t handle() const { return handle_; }
    // The receive buffer the system granted, in the bytes asked for (below kReceiveBufferSize where a
    // system limit holds it back).
    std::size_t receiveBufferSize() const;

private:
    explicit UdpSocket(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// The address this machine would send from to reach peer; no packet is sent. 0 when there is no route.
std::uint32_t localAddressToward(std::uint32_t peer);

// Ctrl-C, SIGTERM and the like, turned into a request to stop that the wait below sees. One per
// program; make it before any thread is started, so that the signals reach the waiting thread.
class StopRequest {
public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    bool requested() const;

private:
    friend bool waitForDatagrams(const std::vector<UdpSocket*>&, StopRequest&,
                                 std::optional<BridgeClock::duration>);
    struct State;
    std::unique_ptr<State> state_;
};

// Waits until a datagram waits on one of the sockets, stop is requested, or the time-out (none:
// forever) has passed. False when stop was requested.
bool waitForDatagrams(const std::vector<UdpSocket*>& sockets, StopRequest& stop,
                      std::optional<BridgeClock::duration> timeout);
