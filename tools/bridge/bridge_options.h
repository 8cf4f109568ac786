#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "control/dimmer_frame.h"
#include "tools/bridge/ipv4_address.h"
#include "tools/bridge/source_merge.h"

// What the command line of lumenta-bridge asks for.
struct BridgeOptions {
    enum class Action { Run, List, Help, Version };

    Action action = Action::Run;
    std::string port;
    DimmerMode mode = DimmerMode::H;
    MergeSettings merge;               // protocols, universe, port-address, first slot, loss policy
    std::uint32_t bindAddress = 0;     // IPv4 in host order; 0 listens on every interface
    bool sacnMulticast = false;        // join the universe's multicast group
    std::vector<Ipv4Network> allowed;  // the senders heard; empty: every sender
    bool exclusive = false;            // refuse to share the ports with other programs
    bool exitOnPortLoss = false;       // end when the dimmer's port goes, instead of waiting for it
    bool quiet = false;                // errors only: no banner, no status

    bool allows(std::uint32_t sender) const;
};

// Reads the command line (the syntax lumenta-send has: --opt VALUE or --opt=VALUE). Every value is
// checked here, before the port or the network is touched:
//   --port NAME              required; 1..255 characters
//   --artnet, --sacn         the protocols to take; both when neither is given
//   --universe N             1..63999, default 1; Art-Net takes port-address N-1 unless
//   --artnet-universe A      gives one: 0..32767, or NET:SUB:UNI (0..127:0..15:0..15)
//   --address A              the DMX slot of channel 1, 1..489 (channel 24 is slot A+23); default 1
//   --mode H|L               default H
//   --bind IP                a dotted IPv4 address to listen on; default 0.0.0.0, every interface
//   --sacn-multicast         join the universe's multicast group; not with --bind to one address
//   --on-loss hold|blackout  default hold
//   --allow CIDR             repeatable: a.b.c.d/n or a.b.c.d; only those senders are heard
//   --exclusive              take the UDP ports alone
//   --on-port-loss wait|exit default wait
//   --quiet
//   --list, --help (-h), --version   alone (--help wins over anything else)
// False with a one-line reason in error when the command line is not a valid request.
bool parseBridgeOptions(int argc, const char* const* argv, BridgeOptions& options, std::string& error);
