// lumenta-bridge as a program, fed by the npm packages artnet and sacn (real senders that nobody here
// wrote) and by the test's own datagrams, driving the virtual dimmer. Everything is sent to loopback
// addresses of the test's own; nothing is broadcast and no multicast group is joined.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/bridge/dmx_packets.h"
#include "tests/tools/bridge/udp_probe.h"
#include "tests/tools/send/send_process.h"
#include "tests/tools/temp_dir.h"
#include "tools/bridge/dimmer_levels.h"
#include "tools/virtual_dimmer/virtual_dimmer.h"

namespace {

using namespace std::chrono_literals;
using dmx_packets::Bytes;

const std::string kBridge = LUMENTA_BRIDGE_EXE;
const std::string kSenders = LUMENTA_BRIDGE_SENDERS;  // the folder npm ci installed the senders in

// A loopback address no other test process uses at the same time: 127.P.P.N, from the process id.
std::string freshLoopbackAddress() {
    static int next = 0;
    const unsigned pid = static_cast<unsigned>(getpid());
    return "127." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(pid & 0xFF) + "." +
           std::to_string(1 + (next++ % 250));
}

std::string levelsJson(const DimmerLevels& levels, unsigned firstSlot = 1) {
    std::string json = "{";
    for (std::size_t c = 0; c < levels.size(); ++c) {
        json += (c ? ",\"" : "\"") + std::to_string(firstSlot + c) + "\":" + std::to_string(levels[c]);
    }
    return json + "}";
}

DimmerLevels allAt(std::uint8_t level) {
    DimmerLevels levels;
    levels.fill(level);
    return levels;
}

DimmerLevels rising(std::uint8_t from) {
    DimmerLevels levels;
    for (std::size_t c = 0; c < levels.size(); ++c) {
        levels[c] = static_cast<std::uint8_t>(from + c);
    }
    return levels;
}

// The next line a program prints after the lines looked at before (seen), that holds text; empty when
// none comes within the time.
std::string nextLineWith(RunningProcess& program, std::size_t& seen, const std::string& text,
                         std::chrono::milliseconds limit) {
    std::string found;
    bool got = false;
    program.waitForOutput(
        [&](const std::string& out) {
            for (std::size_t end; !got && (end = out.find('\n', seen)) != std::string::npos;) {
                found = out.substr(seen, end - seen);
                seen = end + 1;
                got = found.find(text) != std::string::npos;
            }
            return got;
        },
        limit);
    return got ? found : "";
}

// The npm senders, driven line by line (see senders/drive.js).
class Senders {
public:
    Senders() : node_("node", {kSenders + "/drive.js"}) {
        std::signal(SIGPIPE, SIG_IGN);  // a node that has ended fails the write instead
    }
    ~Senders() {
        node_.writeLine(R"({"op":"close"})");
        node_.wait(5s);
    }

    void send(const std::string& command) {
        ASSERT_TRUE(node_.writeLine(command)) << "node did not start";
        const std::string answer = nextLineWith(node_, seen_, "", 5s);
        ASSERT_EQ(answer, "ok") << command << "\n" << node_.err();
    }
    void sacn(const std::string& host, const std::string& cid, unsigned priority, const DimmerLevels& levels,
              unsigned universe = 1) {
        send(R"({"op":"sacn","host":")" + host + R"(","universe":)" + std::to_string(universe) +
             R"(,"cid":")" + cid + R"(","name":"console )" + cid + R"(","priority":)" +
             std::to_string(priority) + R"(,"levels":)" + levelsJson(levels) + "}");
    }
    void sacnPacket(const std::string& host, const std::string& cid, unsigned sequence,
                    const DimmerLevels& levels, bool terminate = false) {
        send(R"({"op":"sacn-packet","host":")" + host + R"(","universe":1,"cid":")" + cid +
             R"(","priority":100,"sequence":)" + std::to_string(sequence) + R"(,"terminate":)" +
             (terminate ? "true" : "false") + R"(,"levels":)" + levelsJson(levels) + "}");
    }
    void artNet(const std::string& host, unsigned portAddress, unsigned channel, const DimmerLevels& levels) {
        std::string values;
        for (std::uint8_t level : levels) {
            values += (values.empty() ? "" : ",") + std::to_string(level);
        }
        send(R"({"op":"artnet","host":")" + host + R"(","universe":)" + std::to_string(portAddress) +
             R"(,"channel":)" + std::to_string(channel) + R"(,"values":[)" + values + "]}");
    }

private:
    RunningProcess node_;
    std::size_t seen_ = 0;
};

// A virtual dimmer and the bridge that drives it, on an address of their own.
class BridgeRig {
public:
    // The bridge runs under launcher (a program and its first arguments) when one is given.
    BridgeRig(const TempDir& dir, const std::string& portName, const std::vector<std::string>& options,
              std::vector<std::string> launcher = {})
        : address(freshLoopbackAddress()) {
        if (!plugIn(dir, portName)) {
            return;
        }
        launcher.insert(launcher.end(), {kBridge, "--port", portName, "--bind", address});
        std::vector<std::string> args(launcher.begin() + 1, launcher.end());
        args.insert(args.end(), options.begin(), options.end());
        bridge = std::make_unique<RunningProcess>(launcher[0], args,
                                                  std::vector<std::string>{"LUMENTA_PORT_DIR=" + dir.path()});
        const bool quiet = std::find(options.begin(), options.end(), "--quiet") != options.end();
        if (!quiet) {
            EXPECT_NE(status("lumenta-bridge: ", 5s), "") << bridge->err();
        } else {
            // Nothing is printed: ask for an ArtPollReply, which comes once the bridge is at work.
            UdpProbe poller(freshLoopbackAddress(), 6454);
            for (int i = 0; i < 50 && replyTo(poller).empty(); ++i) {
            }
        }
    }

    // Starts the virtual dimmer (again) on the port. The frames that change a level go to changes as
    // well; the others are the bridge's refresh.
    bool plugIn(const TempDir& dir, const std::string& portName) {
        std::string error;
        dimmer = VirtualDimmer::start(dir.path(), portName, error);
        EXPECT_TRUE(dimmer) << error;
        before = DimmerLevels{};
        if (dimmer) {
            dimmer->onFrame([this](const DimmerFrame& frame) {
                frames.push_back(frame);
                if (frame[1] == 0 ? before != allAt(frame[3]) : before[frame[1] - 1u] != frame[3]) {
                    changes.push_back(frame);
                }
                before = levels();
            });
        }
        return dimmer != nullptr;
    }
    // Whether the bridge said text on its standard error within the time.
    bool says(const std::string& text, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (; bridge->err().find(text) == std::string::npos; std::this_thread::sleep_for(20ms)) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
        }
        return true;
    }

    std::vector<std::uint8_t> replyTo(UdpProbe& poller, const Bytes& poll = dmx_packets::artPoll(),
                                      int waitMs = 100) {
        poller.send(poll, address, 6454);
        return poller.receive(waitMs);
    }

    DimmerLevels levels() const {
        DimmerLevels now{};
        for (std::size_t c = 0; c < now.size(); ++c) {
            now[c] = dimmer->channels().channel(static_cast<int>(c + 1)).level;
        }
        return now;
    }

    // Lets the dimmer read until its channels show levels, or the time is up.
    bool reaches(const DimmerLevels& wanted, std::chrono::milliseconds limit = 3s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (levels() != wanted && std::chrono::steady_clock::now() < deadline) {
            pump(20);
        }
        return levels() == wanted;
    }
    void pump(int waitMs) {
        pollfd watched{dimmer->masterFd(), POLLIN, 0};
        if (poll(&watched, 1, waitMs) > 0) {
            dimmer->readAvailable();
        }
    }
    // The bridge's latest status line that holds text, within the time.
    std::string status(const std::string& text, std::chrono::milliseconds limit = 3s) {
        return nextLineWith(*bridge, seen, text, limit);
    }

    std::string address;
    std::unique_ptr<VirtualDimmer> dimmer;
    std::unique_ptr<RunningProcess> bridge;
    std::size_t seen = 0;  // of the bridge's output
    std::vector<DimmerFrame> frames;
    std::vector<DimmerFrame> changes;
    DimmerLevels before{};
};

class LumentaBridge : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(LumentaBridge, ArtNetFromTheNpmSenderDrivesTheChannels) {
    BridgeRig rig(dir_, "art0", {"--artnet", "--universe", "3", "--address", "10", "--mode", "L"});
    ASSERT_TRUE(rig.bridge);
    Senders senders;
    senders.artNet(rig.address, 2, 10, rising(1));  // universe 3 is port-address 2
    ASSERT_TRUE(rig.reaches(rising(1))) << rig.bridge->out();
    EXPECT_EQ(rig.changes.size(), 24u);
    EXPECT_EQ(rig.dimmer->lastFrame()[2], 1) << "mode L";

    senders.artNet(rig.address, 5, 10, allAt(9));  // another universe
    senders.artNet(rig.address, 2, 10, allAt(77));
    ASSERT_TRUE(rig.reaches(allAt(77)));
    EXPECT_EQ(rig.changes.size(), 25u) << "one channel-0 frame sets all 24";
    EXPECT_EQ(rig.changes.back(), buildDimmerFrame(0, 1, 77));
    EXPECT_NE(rig.status("other universes 1"), "");
}

TEST_F(LumentaBridge, SacnPriorityTerminationAndSequenceFromTheNpmSender) {
    BridgeRig rig(dir_, "sacn0", {"--sacn"});
    ASSERT_TRUE(rig.bridge);
    Senders senders;
    senders.sacn(rig.address, "a1", 100, allAt(10));
    ASSERT_TRUE(rig.reaches(allAt(10)));
    senders.sacn(rig.address, "b2", 150, allAt(20));
    ASSERT_TRUE(rig.reaches(allAt(20))) << "a higher priority takes over";
    senders.sacn(rig.address, "b2", 50, allAt(21));
    ASSERT_TRUE(rig.reaches(allAt(10))) << "and hands back when it drops below";
    senders.sacn(rig.address, "b2", 120, allAt(22));
    ASSERT_TRUE(rig.reaches(allAt(22)));

    // b2's sender numbered its three packets 0, 1, 2; its stream ends with the fourth.
    const auto terminated = std::chrono::steady_clock::now();
    senders.sacnPacket(rig.address, "b2", 3, allAt(99), true);
    ASSERT_TRUE(rig.reaches(allAt(10), 2s)) << "the next source takes over at once";
    EXPECT_LT(std::chrono::steady_clock::now() - terminated, 1s);

    // a1 goes on from 100; late and repeated packets are dropped.
    senders.sacnPacket(rig.address, "a1", 100, allAt(30));
    ASSERT_TRUE(rig.reaches(allAt(30)));
    senders.sacnPacket(rig.address, "a1", 95, allAt(31));
    senders.sacnPacket(rig.address, "a1", 100, allAt(32));
    senders.sacnPacket(rig.address, "a1", 101, allAt(33));
    ASSERT_TRUE(rig.reaches(allAt(33)));
    for (const DimmerFrame& frame : rig.frames) {
        EXPECT_TRUE(frame[3] != 31 && frame[3] != 32) << "a dropped packet reached the dimmer";
    }
    EXPECT_NE(rig.status("out of order 2"), "");
}

TEST_F(LumentaBridge, ALostSourceIsHeldOrBlackedOut) {
    BridgeRig hold(dir_, "hold0", {"--sacn"});
    BridgeRig blackout(dir_, "dark0", {"--on-loss", "blackout", "--quiet"});
    ASSERT_TRUE(hold.bridge && blackout.bridge);
    Senders senders;
    senders.sacn(hold.address, "c3", 100, rising(50));
    senders.sacn(blackout.address, "c3", 100, rising(50));
    ASSERT_TRUE(hold.reaches(rising(50)) && blackout.reaches(rising(50)));
    const auto lastPacket = std::chrono::steady_clock::now();

    ASSERT_TRUE(blackout.reaches(allAt(0), 4s));
    const auto lost = std::chrono::steady_clock::now() - lastPacket;
    EXPECT_GT(lost, 2s) << "a source is lost after 2.5 s of silence";
    EXPECT_EQ(blackout.changes.back(), buildDimmerFrame(0, 0, 0));
    EXPECT_NE(hold.status("sources 0"), "");
    hold.pump(100);
    EXPECT_EQ(hold.levels(), rising(50));
    EXPECT_EQ((blackout.bridge->signal(SIGTERM), blackout.bridge->wait(5s)), 0);
    EXPECT_EQ(blackout.bridge->out(), "") << "--quiet prints nothing";
}

TEST_F(LumentaBridge, BadPacketsAreCountedAndChangeNothing) {
    BridgeRig rig(dir_, "bad0", {});
    ASSERT_TRUE(rig.bridge);
    UdpProbe probe;
    const auto bad = dmx_packets::badPackets();
    for (const auto& packet : bad) {
        EXPECT_TRUE(probe.send(packet.bytes, rig.address, packet.sacn ? 5568 : 6454)) << packet.what;
    }
    dmx_packets::Sacn good;
    good.slots = dmx_packets::slotsAt(
        1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24});
    probe.send(dmx_packets::sacn(good), rig.address, 5568);
    ASSERT_TRUE(rig.reaches(rising(1)));
    EXPECT_EQ(rig.changes.size(), 24u) << "nothing came of the bad packets";
    EXPECT_NE(rig.status("bad " + std::to_string(bad.size()) + " "), "") << rig.bridge->out();
    EXPECT_EQ((rig.bridge->signal(SIGTERM), rig.bridge->wait(5s)), 0) << rig.bridge->err();
}

TEST_F(LumentaBridge, AnswersArtPollOncePerRequesterAndSharesItsPortUnlessExclusive) {
    BridgeRig rig(dir_, "poll0", {"--universe", "18"});  // Art-Net port-address 17, 0:1:1
    ASSERT_TRUE(rig.bridge);
    UdpProbe poller(freshLoopbackAddress(), 6454);
    ASSERT_TRUE(poller.bound());
    const std::vector<std::uint8_t> reply = rig.replyTo(poller, dmx_packets::artPoll(), 2000);
    ASSERT_EQ(reply.size(), 239u);
    EXPECT_EQ(reply[8] | (reply[9] << 8), 0x2100);
    EXPECT_EQ(reply[18], 0) << "net";
    EXPECT_EQ(reply[19], 1) << "sub-net";
    EXPECT_EQ(reply[190], 1) << "universe";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[26])), "Lumenta bridge");
    EXPECT_NE(std::string(reinterpret_cast<const char*>(&reply[44])).find("poll0"), std::string::npos);
    UdpProbe other(freshLoopbackAddress(), 6454);
    EXPECT_TRUE(rig.replyTo(other, dmx_packets::artPoll(true, 0, 16)).empty()) << "a poll for others";
    EXPECT_EQ(rig.replyTo(other, dmx_packets::artPoll(true, 17, 17), 2000).size(), 239u);

    // A host polling a hundred times a second once left a console polling meanwhile without replies.
    UdpProbe flooder(freshLoopbackAddress(), 6454);
    UdpProbe console(freshLoopbackAddress(), 6454);
    int replies[2] = {};  // the flooder's, the console's
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 160; ++i) {
        flooder.send(dmx_packets::artPoll(), rig.address, 6454);
        if (i % 60 == 0) {
            console.send(dmx_packets::artPoll(), rig.address, 6454);
        }
        replies[0] += flooder.receive(0).empty() ? 0 : 1;
        replies[1] += console.receive(10).empty() ? 0 : 1;
    }
    EXPECT_LE(replies[0], 1 + (std::chrono::steady_clock::now() - start) / 500ms) << "the flooder 2 a second";
    EXPECT_EQ(replies[1] + (console.receive(200).empty() ? 0 : 1), 3) << "the console gets every reply";

    // Other programs may bind the address and port beside the bridge, but not beside an exclusive one.
    EXPECT_TRUE(UdpProbe(rig.address, 6454).bound());
    BridgeRig alone(dir_, "poll1", {"--exclusive"});
    EXPECT_FALSE(UdpProbe(alone.address, 6454).bound() || UdpProbe(alone.address, 5568).bound());
}

// An attack review's findings, replayed as it was done: hosts on other loopback addresses fill the
// source table, send data and stream ends with the console's CID, or are not allowed.
TEST_F(LumentaBridge, NoHostCanLockOutEndOrStrobeTheConsole) {
    BridgeRig rig(dir_, "lock0", {"--on-loss", "blackout"});
    ASSERT_TRUE(rig.bridge);
    std::vector<std::unique_ptr<UdpProbe>> hosts;
    const auto send = [&](std::size_t host, dmx_packets::Sacn s) {
        while (hosts.size() <= host) {
            hosts.push_back(std::make_unique<UdpProbe>(freshLoopbackAddress()));
        }
        hosts[host]->send(dmx_packets::sacn(s), rig.address, 5568);
    };
    // One host sends 32 CIDs at priority 0, seven more four each: every place is taken.
    for (std::size_t host = 0; host < 8; ++host) {
        for (unsigned n = 0; n < (host == 0 ? 32u : 4u); ++n) {
            send(host, {static_cast<std::uint8_t>(host * 33 + n + 1), "", 0});
        }
    }
    EXPECT_NE(rig.status("new sources turned away 28 (too many from one address 28"), "");
    Senders senders;  // from 127.0.0.1, Art-Net and sACN at priority 200 (CID 0xCC sixteen times)
    senders.artNet(rig.address, 0, 1, rising(40));
    ASSERT_TRUE(rig.reaches(rising(40)));
    senders.sacn(rig.address, "cccccccccccccccccccccccccccccccc", 200, rising(100));
    ASSERT_TRUE(rig.reaches(rising(100)));
    const std::size_t changes = rig.changes.size();
    send(8, {0xEE, "", 200});  // an intruder of equal priority, then 20 forged ends and data of the console
    for (unsigned i = 0; i < 20; ++i) {
        send(0, {0xCC, "", 200, 100 + i, i % 2 == 0 ? 0x40u : 0u});
    }
    EXPECT_NE(rig.status("CID from a wrong address 20"), "");
    rig.pump(300);
    EXPECT_EQ(rig.changes.size(), changes) << "no blackout, no intruder";

    BridgeRig allowing(dir_, "lock1", {"--allow", "127.0.0.0/31", "--allow", "127.1.2.3"});
    UdpProbe stranger(freshLoopbackAddress(), 6454);
    stranger.send(dmx_packets::sacn({}), allowing.address, 5568);
    stranger.send(dmx_packets::artDmx(0, dmx_packets::Bytes(24, 9)), allowing.address, 6454);
    EXPECT_TRUE(allowing.replyTo(stranger, dmx_packets::artPoll(), 300).empty());
    senders.sacn(allowing.address, "a7", 100, rising(7));
    ASSERT_TRUE(allowing.reaches(rising(7)));
    EXPECT_NE(allowing.status("refused: not allowed 3,"), "");
}

// Under the service's system call filter, applied as systemd would; not under AddressSanitizer, whose
// leak check at exit traces the program with ptrace, which no service may.
TEST_F(LumentaBridge, RefreshesEveryChannelAndRidesOutALostPort) {
#ifndef __SANITIZE_ADDRESS__
    BridgeRig rig(dir_, "plug0", {}, {LUMENTA_UNIT_FILTER, LUMENTA_BRIDGE_UNIT});
#else
    BridgeRig rig(dir_, "plug0", {});
#endif
    ASSERT_TRUE(rig.bridge);
    UdpProbe poller(freshLoopbackAddress(), 6454);
    EXPECT_EQ(rig.replyTo(poller, dmx_packets::artPoll(), 2000).size(), 239u);
    Senders senders;
    senders.sacn(rig.address, "c9", 100, rising(60));
    ASSERT_TRUE(rig.reaches(rising(60)));
    rig.frames.clear();
    // Unchanged levels, as consoles repeat them: 80 packets in 8 s once gave one frame.
    for (const auto start = std::chrono::steady_clock::now();
         std::chrono::steady_clock::now() - start < 2s;) {
        senders.sacn(rig.address, "c9", 100, rising(60));
        rig.pump(250);
    }
    for (std::uint8_t c = 1; c <= 24; ++c) {
        EXPECT_GT(std::count(rig.frames.begin(), rig.frames.end(), buildDimmerFrame(c, 0, 59 + c)), 0)
            << int(c);
    }
    EXPECT_LE(rig.frames.size(), 30u) << "spread out, not in bursts";

    rig.dimmer.reset();
    EXPECT_TRUE(rig.says("port plug0 has gone: the adapter was unplugged", 2s)) << rig.bridge->err();
    EXPECT_TRUE(rig.says("waiting for it", 0s));
    senders.sacn(rig.address, "c9", 100, rising(80));  // heard while the port is away
    ASSERT_TRUE(rig.plugIn(dir_, "plug0"));
    ASSERT_TRUE(rig.reaches(rising(80), 1500ms)) << "all at once, not by the refresh";
    EXPECT_TRUE(rig.says("the port plug0 is back", 0s));
    EXPECT_EQ((rig.bridge->signal(SIGTERM), rig.bridge->wait(5s)), 0);
}

TEST_F(LumentaBridge, FailuresHaveTheirExitCodes) {
    const std::vector<std::string> env{"LUMENTA_PORT_DIR=" + dir_.path()};
    std::string error;
    auto dimmer = VirtualDimmer::start(dir_.path(), "exit0", error);
    ASSERT_TRUE(dimmer) << error;
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* inMessage;
    };
    const std::vector<Case> cases = {
        {{"--port", "exit0", "--universe", "0"}, 2, "--universe"},
        {{"--port", "exit0", "--bind", "127.0.0.1", "--sacn-multicast"}, 2, "--sacn-multicast"},
        {{"--port", "nosuch", "--bind", "127.0.0.1"}, 3, "unknown port 'nosuch'"},
        // A documentation address that is on no machine: nothing is sent, the bind fails.
        {{"--port", "exit0", "--bind", "192.0.2.1"}, 8, "cannot listen for Art-Net on 192.0.2.1:6454"},
    };
    for (const Case& c : cases) {
        const ProcessResult run = runProcess(kBridge, c.args, env);
        EXPECT_EQ(run.exitCode, c.code) << run.err;
        EXPECT_NE(run.err.find(c.inMessage), std::string::npos) << run.err;
    }

    // For scripts: the dimmer goes while the bridge works, and nothing is to be sent.
    BridgeRig rig(dir_, "gone0", {"--sacn", "--on-port-loss", "exit"});
    ASSERT_TRUE(rig.bridge);
    Senders senders;
    senders.sacn(rig.address, "d4", 100, allAt(1));
    ASSERT_TRUE(rig.reaches(allAt(1)));
    rig.dimmer.reset();
    EXPECT_EQ(rig.bridge->wait(2s), 6);
    EXPECT_NE(rig.bridge->err().find("port gone0 has gone"), std::string::npos) << rig.bridge->err();
}

TEST(LumentaBridgeText, HelpAndManPageDocumentEveryOptionAndExitCode) {
    const ProcessResult help = runProcess(kBridge, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    std::ifstream manFile(LUMENTA_BRIDGE_MAN_PAGE);
    std::string man((std::istreambuf_iterator<char>(manFile)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(man.empty());
    for (std::size_t at; (at = man.find("\\-")) != std::string::npos;) {
        man.erase(at, 1);  // troff's hyphen
    }
    for (const char* option : {"--port", "--artnet", "--sacn", "--universe", "--artnet-universe", "--address",
                               "--mode", "--bind", "--sacn-multicast", "--on-loss", "--allow", "--exclusive",
                               "--on-port-loss", "--quiet", "--list", "--help", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
        EXPECT_NE(man.find(option), std::string::npos) << option;
    }
    for (const std::string code : {"0", "2", "3", "4", "5", "6", "7", "8"}) {
        EXPECT_NE(help.out.find("\n  " + code + "  "), std::string::npos) << code;
        EXPECT_NE(man.find(".B " + code + "\n"), std::string::npos) << code;
    }
    EXPECT_NE(man.find("lumenta-bridge@.service"), std::string::npos);
    EXPECT_EQ(runProcess(kBridge, {"--version"}).out.rfind("lumenta-bridge ", 0), 0u);
}

}  // namespace
