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

std::string virtualDir() {
    static const std::string dir = [] {
        const std::string d =
            std::filesystem::temp_directory_path() / ("lumenta-fuzz-ports-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        std::error_code ec;
        std::filesystem::create_symlink("/dev/null", d + "/nulldev", ec);
        std::filesystem::create_symlink("/etc/passwd", d + "/escape", ec);
        std::filesystem::create_symlink(d + "/escape", d + "/escape2", ec);
        return d;
    }();
    return dir;
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
