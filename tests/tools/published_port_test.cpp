#include "tools/virtual_dimmer/published_port.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

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

    // A directory that others may write to is not a safe place to publish in.
    const std::string shared = dir.path() + "/shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    EXPECT_EQ(PublishedPort::publish(shared, "dimmer0", "/dev/null", error), nullptr);
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
