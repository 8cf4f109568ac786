// Resolves arbitrary port names and checks that whatever resolves leads into /dev and nowhere else.
// The virtual-port directory is a private one with one published port, so links are exercised too.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "serial/posix/port_path.h"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// A private virtual-port directory for the life of the process, with a published port and links
// that try to lead out of /dev.
class FuzzPortDir {
public:
    FuzzPortDir()
        : path_(std::filesystem::temp_directory_path() / ("lumenta-fuzz-ports-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
        std::error_code ec;
        std::filesystem::create_symlink("/dev/null", path_ + "/nulldev", ec);
        std::filesystem::create_symlink("/etc/passwd", path_ + "/escape", ec);
        std::filesystem::create_symlink(path_ + "/escape", path_ + "/escape2", ec);
    }
    ~FuzzPortDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& virtualDir() {
    static const FuzzPortDir dir;
    return dir.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    std::string path;
    const SerialStatus status = resolvePortPath(name, virtualDir(), path);
    if (status == SerialStatus::Success) {
        check(path.rfind("/dev/", 0) == 0);
        check(path.find("/../") == std::string::npos && path.find("/./") == std::string::npos);
        struct stat info;
        check(stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode));
    } else {
        check(status == SerialStatus::InvalidParam || status == SerialStatus::NotFound ||
              status == SerialStatus::OpenFailed || status == SerialStatus::AccessDenied);
    }
    return 0;
}
