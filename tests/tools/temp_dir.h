#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A private directory under /tmp, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/lumenta-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};
