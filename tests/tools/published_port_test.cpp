#include "common/published_port.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/tools/other_user.h"
#include "tests/tools/temp_dir.h"

namespace {

std::string linkTarget(const std::string& link) {
    char target[256] = {};
    return readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

TEST(PublishedPort, ReplacesALinkLeftByAKilledRun) {
    TempDir dir;
    const std::string link = dir.path() + "/dimmer0";
    ASSERT_EQ(symlink("/dev/pts/no-such-terminal", link.c_str()), 0);

    std::string error;
    auto port = PublishedPort::publish(dir.path(), "dimmer0", "/dev/null", error);
    ASSERT_NE(port, nullptr) << error;
    EXPECT_TRUE(port->replacedStaleLink());
    EXPECT_EQ(linkTarget(link), "/dev/null");
}

TEST(PublishedPort, ANameServedByALiveDimmerCannotBeTakenAndSurvives) {
    TempDir dir;
    std::string error;
    auto live = PublishedPort::publish(dir.path(), "dimmer0", "/dev/null", error);
    ASSERT_NE(live, nullptr) << error;

    EXPECT_EQ(PublishedPort::publish(dir.path(), "dimmer0", "/dev/zero", error), nullptr);
    EXPECT_NE(error.find("already served"), std::string::npos) << error;
    EXPECT_EQ(linkTarget(live->linkPath()), "/dev/null");

    // Once the live one has ended, the name is free again.
    live.reset();
    EXPECT_NE(PublishedPort::publish(dir.path(), "dimmer0", "/dev/zero", error), nullptr) << error;
}

TEST(PublishedPort, RefusesWhatItMustNotTouch) {
    TempDir dir;
    std::string error;
    std::ofstream(dir.path() + "/notalink") << "data";
    EXPECT_EQ(PublishedPort::publish(dir.path(), "notalink", "/dev/null", error), nullptr);
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_EQ(std::ifstream(dir.path() + "/notalink").peek(), 'd');

    EXPECT_EQ(PublishedPort::publish(dir.path(), "../escape", "/dev/null", error), nullptr);
    EXPECT_EQ(PublishedPort::publish(dir.path(), "", "/dev/null", error), nullptr);
}

// Every way another user could have prepared the port directory, or the way to it: the dimmer
// refuses to publish there, naming the directory and the fix, touches nothing (least of all one of
// our own directories that the way leads to), and readers find no port there.
TEST(PortDirectory, RefusesADirectoryAnotherUserCouldChange) {
    TempDir dir;
    const std::string ours = dir.path() + "/ours";  // one of our directories, with a file of ours
    ASSERT_EQ(mkdir(ours.c_str(), 0700), 0);
    std::ofstream(ours + "/vdimmer") << "mine";
    const auto make = [](const std::string& path, mode_t mode, uid_t owner) {
        return mkdir(path.c_str(), mode) == 0 && chmod(path.c_str(), mode) == 0 &&
               chown(path.c_str(), owner, static_cast<gid_t>(-1)) == 0;
    };
    const uid_t me = geteuid();
    const uid_t other = other_user::attacker();
    struct Case {
        const char* what;
        std::string ports;    // the port directory
        std::string refused;  // the directory the refusal names
        std::string why;
    };
    std::vector<Case> cases;
    const std::string linked = dir.path() + "/linked";
    ASSERT_TRUE(make(linked, 0700, me));
    ASSERT_EQ(symlink(ours.c_str(), (linked + "/ports").c_str()), 0);
    cases.push_back(
        {"ports is a link to a directory of ours", linked + "/ports", linked + "/ports", "symbolic link"});
    const std::string open = dir.path() + "/open";
    ASSERT_TRUE(make(open, 0777, me));
    cases.push_back({"the parent is writable by all", open + "/ports", open, "written by other users"});
    ASSERT_TRUE(make(dir.path() + "/wide", 0700, me) && make(dir.path() + "/wide/ports", 0770, me));
    cases.push_back({"ports is writable by its group", dir.path() + "/wide/ports", dir.path() + "/wide/ports",
                     "written by other users"});
    if (me == 0) {
        // As another user would leave it: their folder at our fallback's place, with ports a link into ours.
        const std::string taken = dir.path() + "/taken";
        ASSERT_TRUE(make(taken, 0777, other));
        ASSERT_EQ(symlink(ours.c_str(), (taken + "/ports").c_str()), 0);
        ASSERT_EQ(lchown((taken + "/ports").c_str(), other, other), 0);
        cases.push_back({"the parent is another user's", taken + "/ports", taken, "belongs to another user"});
        const std::string theirs = dir.path() + "/theirs";
        ASSERT_TRUE(make(theirs, 0700, me) && make(theirs + "/ports", 0755, other));
        cases.push_back(
            {"ports is another user's", theirs + "/ports", theirs + "/ports", "belongs to another user"});
    }
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(PublishedPort::publish(c.ports, "vdimmer", "/dev/null", error), nullptr) << c.what;
        EXPECT_EQ(error.rfind(c.refused + " ", 0), 0u) << c.what << ": " << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find("LUMENTA_PORT_DIR"), std::string::npos) << c.what << ": " << error;

        const PortDirectory reader = PortDirectory::open(c.ports, false, error);
        EXPECT_FALSE(reader.isOpen()) << c.what;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.what << ": " << error;
    }
    const auto entries = std::distance(std::filesystem::directory_iterator(ours), {});
    EXPECT_EQ(entries, 1) << "something was made in a directory of ours";
    std::string content;
    std::ifstream(ours + "/vdimmer") >> content;
    EXPECT_EQ(content, "mine");
}

TEST(PublishedPort, CreatesMissingDirectoriesPrivately) {
    TempDir dir;
    const std::string nested = dir.path() + "/run/lumenta/ports";
    std::string error;
    auto port = PublishedPort::publish(nested, "dimmer1", "/dev/null", error);
    ASSERT_NE(port, nullptr) << error;
    struct stat info {};
    ASSERT_EQ(stat((dir.path() + "/run/lumenta").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

}  // namespace
