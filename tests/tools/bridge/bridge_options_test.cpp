// The command line of lumenta-bridge: the defaults, every option read, and every bad value refused
// with a reason that names the option.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tools/bridge/bridge_options.h"

namespace {

struct Parsed {
    bool ok;
    BridgeOptions options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"lumenta-bridge"};
    argv.insert(argv.end(), args);
    Parsed result{};
    result.ok = parseBridgeOptions(static_cast<int>(argv.size()), argv.data(), result.options, result.error);
    return result;
}

TEST(BridgeOptions, DefaultsAndEveryOption) {
    Parsed plain = parse({"--port", "ttyUSB0"});
    ASSERT_TRUE(plain.ok) << plain.error;
    const BridgeOptions& d = plain.options;
    EXPECT_EQ(d.action, BridgeOptions::Action::Run);
    EXPECT_EQ(d.port, "ttyUSB0");
    EXPECT_TRUE(d.merge.artNet && d.merge.sacn) << "both protocols when neither is named";
    EXPECT_EQ(d.merge.sacnUniverse, 1);
    EXPECT_EQ(d.merge.artNetPortAddress.value, 0) << "universe 1 is Art-Net's first port-address";
    EXPECT_EQ(d.merge.firstSlot, 1u);
    EXPECT_EQ(d.merge.onLoss, LossPolicy::Hold);
    EXPECT_EQ(d.mode, DimmerMode::H);
    EXPECT_EQ(d.bindAddress, 0u);
    EXPECT_FALSE(d.sacnMulticast || d.quiet || d.exclusive || d.exitOnPortLoss || !d.allows(0x08080808));

    Parsed full = parse({"--port=COM3", "--sacn", "--universe", "300", "--address=489", "--mode", "l",
                         "--bind", "127.0.0.2", "--on-loss", "blackout", "--quiet", "--allow",
                         "192.168.7.9/22", "--allow=10.1.2.3", "--exclusive", "--on-port-loss", "exit"});
    ASSERT_TRUE(full.ok) << full.error;
    const BridgeOptions& f = full.options;
    EXPECT_TRUE(f.merge.sacn && !f.merge.artNet);
    EXPECT_EQ(f.merge.sacnUniverse, 300);
    EXPECT_EQ(f.merge.artNetPortAddress.value, 299);
    EXPECT_EQ(f.merge.firstSlot, 489u);
    EXPECT_EQ(f.mode, DimmerMode::L);
    EXPECT_EQ(f.bindAddress, 0x7F000002u);
    EXPECT_EQ(f.merge.onLoss, LossPolicy::Blackout);
    EXPECT_TRUE(f.quiet && f.exclusive && f.exitOnPortLoss);
    EXPECT_TRUE(f.allows(0xC0A80400) && f.allows(0xC0A807FF) && f.allows(0x0A010203));
    EXPECT_FALSE(f.allows(0xC0A80800) || f.allows(0x0A010204) || f.allows(0x7F000001));
    EXPECT_TRUE(parse({"--port", "p", "--allow", "0.0.0.0/0"}).options.allows(0xFFFFFFFF));

    EXPECT_EQ(parse({"--port", "p", "--artnet-universe", "1:2:3"}).options.merge.artNetPortAddress.value,
              0x123);
    EXPECT_EQ(parse({"--port", "p", "--artnet-universe", "32767"}).options.merge.artNetPortAddress.value,
              0x7FFF);
    EXPECT_TRUE(parse({"--port", "p", "--sacn", "--universe", "63999"}).ok) << "no Art-Net, no port-address";
    EXPECT_TRUE(parse({"--port", "p", "--sacn-multicast"}).options.sacnMulticast);
    EXPECT_EQ(parse({"--list"}).options.action, BridgeOptions::Action::List);
    EXPECT_EQ(parse({"--port", "p", "--bogus", "-h"}).options.action, BridgeOptions::Action::Help);
}

TEST(BridgeOptions, RefusesEveryBadValueNamingTheOption) {
    const std::vector<std::pair<std::vector<const char*>, const char*>> bad = {
        {{}, "nothing to do"},
        {{"--universe", "2"}, "--port"},
        {{"--port", "p", "--universe", "0"}, "--universe"},
        {{"--port", "p", "--universe", "64000"}, "--universe"},
        {{"--port", "p", "--universe", "40000"}, "--artnet-universe"},  // Art-Net has no such universe
        {{"--port", "p", "--artnet-universe", "32768"}, "--artnet-universe"},
        {{"--port", "p", "--artnet-universe", "128:0:0"}, "--artnet-universe"},
        {{"--port", "p", "--artnet-universe", "0:16:0"}, "--artnet-universe"},
        {{"--port", "p", "--artnet-universe", "0:0"}, "--artnet-universe"},
        {{"--port", "p", "--address", "0"}, "--address"},
        {{"--port", "p", "--address", "490"}, "--address"},
        {{"--port", "p", "--mode", "X"}, "--mode"},
        {{"--port", "p", "--on-loss", "fade"}, "--on-loss"},
        {{"--port", "p", "--bind", "localhost"}, "--bind"},
        {{"--port", "p", "--bind", "256.0.0.1"}, "--bind"},
        {{"--port", "p", "--bind", "127.0.0"}, "--bind"},
        {{"--port", "p", "--bind", "127.0.0.01"}, "--bind"},
        {{"--port", "p", "--bind", "127.0.0.1."}, "--bind"},
        {{"--port", "p", "--bind", "127.0.0.1", "--sacn-multicast"}, "--sacn-multicast"},
        {{"--port", "p", "--artnet", "--sacn-multicast"}, "--sacn-multicast"},
        {{"--port", "p", "--allow", "10.0.0.0/33"}, "--allow"},
        {{"--port", "p", "--allow", "10.0.0.0/08"}, "--allow"},
        {{"--port", "p", "--allow", "10.0.0/8"}, "--allow"},
        {{"--port", "p", "--on-port-loss", "stop"}, "--on-port-loss"},
        {{"--port", "p", "--quiet=yes"}, "--quiet"},
        {{"--port", "p", "--list"}, "--list"},
        {{"--port", "p", "--port", "q"}, "--port"},
    };
    for (const auto& [args, inMessage] : bad) {
        std::vector<const char*> argv{"lumenta-bridge"};
        argv.insert(argv.end(), args.begin(), args.end());
        BridgeOptions options;
        std::string error;
        EXPECT_FALSE(parseBridgeOptions(static_cast<int>(argv.size()), argv.data(), options, error))
            << inMessage;
        EXPECT_NE(error.find(inMessage), std::string::npos) << error;
    }
}

}  // namespace
