// Resolves arbitrary port names and checks that whatever resolves is a serial line in /dev and
// nothing else: a character device of the tty subsystem that is no console, controlling terminal or
// pseudo-terminal multiplexer, or a pseudo-terminal that a live virtual port serves. The virtual-port
// directory is a private one with a live port on a pseudo-terminal, a stale link to another (as a
// killed dimmer leaves it), and live ports that lead to devices that are not serial lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/published_port.h"
#include "fuzz/fuzz_check.h"
#include "serial/posix/port_path.h"

namespace {

int openPseudoTerminal(std::string& slave) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    check(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    slave = ptsname(master);
    return master;
}

class FuzzPortDir {
public:
    FuzzPortDir()
        : path_(std::filesystem::temp_directory_path() / ("lumenta-fuzz-ports-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
        livePty_ = openPseudoTerminal(liveSlave_);
        stalePty_ = openPseudoTerminal(staleSlave_);
        struct stat info {};
        check(stat(liveSlave_.c_str(), &info) == 0);
        liveDevice_ = info.st_rdev;
        publish("live", liveSlave_);
        publish("ptmxport", "/dev/ptmx");
        publish("ttyport", "/dev/tty");
        publish("nulldev", "/dev/null");
        publish("escape", "/etc/passwd");
        publish("relative", "../../dev/pts/0");
        std::error_code ec;
        std::filesystem::create_symlink(staleSlave_, path_ + "/stale", ec);
        std::filesystem::create_symlink(path_ + "/escape", path_ + "/escape2", ec);
    }
    ~FuzzPortDir() {
        ports_.clear();
        ::close(livePty_);
        ::close(stalePty_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    dev_t liveDevice() const { return liveDevice_; }

private:
    void publish(const std::string& name, const std::string& target) {
        std::string error;
        ports_.push_back(PublishedPort::publish(path_, name, target, error));
        check(ports_.back() != nullptr);
    }

    std::string path_;
    std::string liveSlave_;
    std::string staleSlave_;
    int livePty_ = -1;
    int stalePty_ = -1;
    dev_t liveDevice_ = 0;
    std::vector<std::unique_ptr<PublishedPort>> ports_;
};

const FuzzPortDir& portDir() {
    static const FuzzPortDir dir;
    return dir;
}

bool inTtySubsystem(dev_t device) {
    const std::string entry =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/subsystem";
    char link[PATH_MAX] = {};
    return readlink(entry.c_str(), link, sizeof link - 1) > 0 &&
           std::filesystem::path(link).filename() == "tty";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    PortTarget target;
    const SerialStatus status = resolvePortPath(name, portDir().path(), target);
    if (status == SerialStatus::Success) {
        const std::string& path = target.path;
        check(path.rfind("/dev/", 0) == 0);
        check(path.find("/../") == std::string::npos && path.find("/./") == std::string::npos);
        struct stat info;
        check(stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == target.device);
        check(major(info.st_rdev) != 5 && !(major(info.st_rdev) == 4 && minor(info.st_rdev) < 64));
        const bool pseudoTerminal = major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
        if (pseudoTerminal) {
            check(info.st_rdev == portDir().liveDevice() && target.virtualPort == "live");
        } else {
            check(inTtySubsystem(info.st_rdev) && target.virtualPort.empty());
        }
    } else {
        check(status == SerialStatus::InvalidParam || status == SerialStatus::NotFound ||
              status == SerialStatus::OpenFailed || status == SerialStatus::AccessDenied);
    }
    return 0;
}
