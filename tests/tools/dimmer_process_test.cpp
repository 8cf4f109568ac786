// The terminal front end as a program: what it prints on start, that it removes its port when it is
// told to end, promptly even under a flood of frames, and what another user cannot make it do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "control/dimmer_frame.h"
#include "tests/tools/other_user.h"
#include "tests/tools/pty_writer.h"
#include "tests/tools/send/send_process.h"
#include "tests/tools/temp_dir.h"

namespace {

using namespace std::chrono_literals;

const std::string kDimmer = LUMENTA_VIRTUAL_DIMMER_EXE;

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// One run of lumenta-virtual-dimmer with its ports in portDir; as another user when uid is not 0.
class DimmerProcess {
public:
    DimmerProcess(const std::string& portDir, const std::string& name, bool quiet = true, uid_t uid = 0) {
        std::vector<std::string> args = {"--print-port", "--name", name};
        if (quiet) {
            args.push_back("--quiet");
        }
        const std::vector<std::string> env = {"LUMENTA_PORT_DIR=" + portDir};
        process_ = uid == 0 ? std::make_unique<RunningProcess>(kDimmer, args, env)
                            : std::make_unique<RunningProcess>(
                                  "env", other_user::commandAs(uid, kDimmer, args), env);
    }

    // The key=value lines printed on start, once the link= line (the last) has come.
    std::map<std::string, std::string> startLines() {
        process_->waitForOutput(
            [](const std::string& out) {
                const std::size_t link = out.find("link=");
                return link != std::string::npos && out.find('\n', link) != std::string::npos;
            },
            5s);
        const std::string text = process_->out();
        std::map<std::string, std::string> lines;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            if (const std::size_t eq = line.find('='); eq != std::string::npos) {
                lines[line.substr(0, eq)] = line.substr(eq + 1);
            }
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }

    // Exit status after the signal, or -1 when it did not end within two seconds.
    int endWith(int signal) {
        process_->signal(signal);
        return process_->wait(2s);
    }

    RunningProcess& process() { return *process_; }

private:
    std::unique_ptr<RunningProcess> process_;
};

TEST(DimmerProcess, PrintsItsPortAndRemovesItOnSigtermAndSigint) {
    for (int signal : {SIGTERM, SIGINT}) {
        TempDir dir;
        DimmerProcess dimmer(dir.path(), "bench7");
        auto lines = dimmer.startLines();
        ASSERT_EQ(lines["port"], "bench7");
        ASSERT_EQ(lines["link"], dir.path() + "/bench7");
        EXPECT_EQ(lines["pty"].rfind("/dev/pts/", 0), 0u) << lines["pty"];
        ASSERT_TRUE(exists(lines["link"]));

        EXPECT_EQ(dimmer.endWith(signal), 0) << strsignal(signal);
        EXPECT_FALSE(exists(lines["link"])) << strsignal(signal);
    }
}

TEST(DimmerProcess, ANewRunCleansUpAfterAKilledOne) {
    TempDir dir;
    std::string link;
    {
        DimmerProcess killed(dir.path(), "dimmer0");
        link = killed.startLines()["link"];
        ASSERT_FALSE(link.empty());
        EXPECT_EQ(killed.endWith(SIGKILL), 128 + SIGKILL);
        ASSERT_TRUE(exists(link));  // left behind, pointing to a pseudo-terminal that is gone
    }
    DimmerProcess next(dir.path(), "dimmer0");
    auto lines = next.startLines();
    ASSERT_EQ(lines["link"], link);
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(lines["pty"], target);
    struct stat info {};
    EXPECT_EQ(stat(link.c_str(), &info), 0) << "the new link leads to a live pseudo-terminal";
    EXPECT_EQ(next.endWith(SIGTERM), 0);
}

// A writer that never pauses: SIGTERM still ends the dimmer (and removes its port), and what it
// prints stays bounded: frame lines up to a rate, then a count of the frames not shown.
TEST(DimmerProcess, EndsOnSigtermUnderAFloodAndKeepsItsOutputBounded) {
    TempDir dir;
    DimmerProcess dimmer(dir.path(), "flood0", false);
    const std::string link = dimmer.startLines()["link"];
    ASSERT_FALSE(link.empty());
    {
        FrameFlood flood(link);
        ASSERT_TRUE(flood.started());
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(dimmer.endWith(SIGTERM), 0) << "still running 2 s after SIGTERM";
    }
    EXPECT_FALSE(exists(link));
    const std::string out = dimmer.process().out();
    EXPECT_LT(out.size(), 1u << 20) << "printed " << out.size() << " bytes in 1.5 s";
    EXPECT_NE(out.find("frame AA "), std::string::npos);
    EXPECT_NE(out.find("more frames in that second, not shown"), std::string::npos);
}

// Another user made the /tmp fallback's folder first, world-writable, with "ports" a link into one
// of the victim's own directories. The victim's dimmer refuses it and says why; nothing of the
// victim's is created, changed or deleted.
TEST(DimmerProcess, RefusesAFallbackDirectoryAnotherUserMadeFirst) {
    if (!other_user::available()) {
        GTEST_SKIP() << "needs root and setpriv to act as two users";
    }
    const uid_t victim = other_user::victim();
    const std::string fallback = "/tmp/lumenta-" + std::to_string(victim);
    std::filesystem::remove_all(fallback);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string own = dir.path() + "/own";
    ASSERT_TRUE(other_user::makeDirectoryOf(victim, own));
    std::ofstream(own + "/vdimmer") << "mine";

    const ProcessResult attack = runProcess(
        "env", other_user::commandAs(
                   other_user::attacker(), "/bin/sh",
                   {"-c", "mkdir -m 777 " + fallback + " && ln -s " + own + " " + fallback + "/ports"}));
    ASSERT_EQ(attack.exitCode, 0) << attack.err;

    const ProcessResult run = runProcess(
        "env",
        other_user::commandAs(victim, kDimmer, {"--print-port"}, {"XDG_RUNTIME_DIR", "LUMENTA_PORT_DIR"}));
    std::filesystem::remove_all(fallback);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.out.find("link="), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(fallback + " belongs to another user"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("LUMENTA_PORT_DIR"), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(own), {}), 1);
    std::string content;
    std::ifstream(own + "/vdimmer") >> content;
    EXPECT_EQ(content, "mine");
}

// The panel, killed while it held the virtual port, must not leave the port locked against its user
// (who is not root): the next program of that user opens it and the frame arrives.
TEST(DimmerProcess, APanelKilledWhileHoldingThePortLocksNobodyOut) {
    if (!other_user::available()) {
        GTEST_SKIP() << "needs root and setpriv to act as another user";
    }
    const uid_t user = other_user::victim();
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string ports = dir.path() + "/ports";
    ASSERT_TRUE(other_user::makeDirectoryOf(user, ports));
    const std::vector<std::string> env = {"LUMENTA_PORT_DIR=" + ports};

    DimmerProcess dimmer(ports, "vdimmer", false, user);
    ASSERT_FALSE(dimmer.startLines()["link"].empty()) << dimmer.process().err();
    {
        RunningProcess panel("env", other_user::commandAs(user, LUMENTA_PORT_HOLDER_PATH, {"vdimmer"}), env);
        ASSERT_TRUE(panel.waitForOutput([](const std::string& out) { return out == "held\n"; }, 5s))
            << panel.out() << panel.err();
        panel.signal(SIGKILL);
        ASSERT_EQ(panel.wait(5s), 128 + SIGKILL);
    }
    const ProcessResult send =
        runProcess("env",
                   other_user::commandAs(user, LUMENTA_SEND_EXE,
                                         {"--port", "vdimmer", "--channel", "5", "--level", "128"}),
                   env);
    EXPECT_EQ(send.exitCode, 0) << send.err;
    EXPECT_TRUE(dimmer.process().waitForOutput(
        [](const std::string& out) { return out.find("frame AA 05 00 80 00 2F") != std::string::npos; }, 2s))
        << dimmer.process().out();
    EXPECT_EQ(dimmer.endWith(SIGTERM), 0);
}

}  // namespace
