// The command line of lumenta-send: what it accepts, and that every bad value is refused before any
// port is touched.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tools/send/send_options.h"
#include "tools/send/send_usage.h"

namespace {

struct Parsed {
    bool ok;
    SendOptions options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"lumenta-send"};
    argv.insert(argv.end(), args);
    Parsed result{};
    result.ok = parseSendOptions(static_cast<int>(argv.size()), argv.data(), result.options, result.error);
    return result;
}

TEST(SendOptions, ReadsAFullRequestInEitherSpelling) {
    Parsed spaced = parse({"--port", "ttyUSB0", "--channel", "5", "--level", "128", "--mode", "L"});
    ASSERT_TRUE(spaced.ok) << spaced.error;
    EXPECT_EQ(spaced.options.action, SendOptions::Action::Send);
    EXPECT_EQ(spaced.options.port, "ttyUSB0");
    EXPECT_EQ(spaced.options.channel, 5);
    EXPECT_EQ(spaced.options.level, 128);
    EXPECT_EQ(spaced.options.mode, DimmerMode::L);

    Parsed joined = parse({"--level=0", "--all", "--port=COM3"});
    ASSERT_TRUE(joined.ok) << joined.error;
    EXPECT_EQ(joined.options.port, "COM3");
    EXPECT_EQ(joined.options.channel, 0) << "--all is channel 0";
    EXPECT_EQ(joined.options.level, 0);
    EXPECT_EQ(joined.options.mode, DimmerMode::H) << "H is the default mode";
}

TEST(SendOptions, AcceptsTheEdgesOfEveryRange) {
    for (const char* channel : {"1", "24", "07"}) {
        EXPECT_TRUE(parse({"--port", "p", "--channel", channel, "--level", "0"}).ok) << channel;
    }
    EXPECT_EQ(parse({"--port", "p", "--all", "--level", "0"}).options.level, 0);
    EXPECT_EQ(parse({"--port", "p", "--all", "--level", "255"}).options.level, 255);
    EXPECT_EQ(parse({"--port", "p", "--all", "--level", "000255"}).options.level, 255);
    EXPECT_EQ(parse({"--port", "p", "--all", "--level", "1", "--mode", "l"}).options.mode, DimmerMode::L);
    EXPECT_EQ(parse({"--port", "p", "--all", "--level", "1", "--mode", "h"}).options.mode, DimmerMode::H);
    EXPECT_TRUE(parse({"--port", std::string(255, 'x').c_str(), "--all", "--level", "1"}).ok);
}

TEST(SendOptions, RefusesEveryBadRequestWithAReason) {
    const std::string longName(256, 'x');
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"--channel", "1", "--level", "1"},                           // no port
        {"--port", "", "--all", "--level", "1"},                      // empty port
        {"--port", longName.c_str(), "--all", "--level", "1"},        // would be cut short
        {"--port", "p", "--level", "1"},                              // neither channel nor all
        {"--port", "p", "--channel", "3", "--all", "--level", "1"},   // both
        {"--port", "p", "--channel", "0", "--level", "1"},            // 0 is --all's
        {"--port", "p", "--channel", "25", "--level", "1"},           //
        {"--port", "p", "--channel", "-1", "--level", "1"},           //
        {"--port", "p", "--channel", "3x", "--level", "1"},           //
        {"--port", "p", "--channel", "0x3", "--level", "1"},          //
        {"--port", "p", "--channel", " 3", "--level", "1"},           //
        {"--port", "p", "--all"},                                     // no level
        {"--port", "p", "--all", "--level", "256"},                   //
        {"--port", "p", "--all", "--level", "4294967296"},            // wraps to 0 in 32 bits
        {"--port", "p", "--all", "--level", "18446744073709551617"},  // wraps in 64 bits
        {"--port", "p", "--all", "--level", "+5"},                    //
        {"--port", "p", "--all", "--level", ""},                      //
        {"--port", "p", "--all", "--level", "1", "--mode", "X"},      //
        {"--port", "p", "--all", "--level", "1", "--mode", "HL"},     //
        {"--port", "p", "--all", "--level", "1", "--level", "2"},     // twice
        {"--port", "p", "--all", "--all", "--level", "1"},            //
        {"--port", "--all", "--level", "1"},                          // option taken for a value
        {"--port", "p", "--all", "--level"},                          // value missing at the end
        {"--port", "p", "--all", "--level", "1", "extra"},            //
        {"--port", "p", "--all", "--level", "1", "--speed", "9600"},  //
        {"--port", "p", "--all=yes", "--level", "1"},                 //
        {"--list", "--port", "p"},                                    //
        {"--version", "--list"},                                      //
    };
    for (const auto& args : bad) {
        std::vector<const char*> argv{"lumenta-send"};
        argv.insert(argv.end(), args.begin(), args.end());
        SendOptions options;
        std::string error;
        std::string line;
        for (const char* arg : args) {
            line += std::string(" ") + arg;
        }
        EXPECT_FALSE(parseSendOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

TEST(SendOptions, HelpWinsAndListAndVersionStandAlone) {
    EXPECT_EQ(parse({"--help"}).options.action, SendOptions::Action::Help);
    EXPECT_EQ(parse({"--level", "999", "-h"}).options.action, SendOptions::Action::Help);
    EXPECT_EQ(parse({"--list"}).options.action, SendOptions::Action::List);
    EXPECT_EQ(parse({"--version"}).options.action, SendOptions::Action::Version);
    // The help names this platform's ports only.
#ifdef _WIN32
    const char* const foreign[] = {"ttyUSB0", "/dev/", "dialout"};
#else
    const char* const foreign[] = {"COM3", "Windows"};
#endif
    for (const char* name : foreign) {
        EXPECT_EQ(sendUsage().find(name), std::string::npos) << name;
    }
}

}  // namespace
