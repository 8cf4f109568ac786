// What one rescan of the port list costs: the system's probe (Linux: the kernel's ttys in sysfs and a
// port directory with a few live virtual ports; Windows: the 255 COM names and Device Manager's names)
// filling a list held in memory, as the panel's rebuild does minus the drawing.
// Run: build/linux/bench/port_scan_bench [scans]   or, under Wine, port_scan_bench.exe [scans]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/port_discovery.h"

#ifdef _WIN32
#include "control/com_port_names.h"
#else
#include <unistd.h>

#include <filesystem>

#include "common/published_port.h"
#include "control/sysfs_port_probe.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

class MemoryList : public PortList {
public:
    void clearPortList() override { entries.clear(); }
    void addPortName(const std::string& name) override { entries.push_back(name + " "); }
    int portNameCount() const override { return static_cast<int>(entries.size()); }
    void selectPortName(int) override {}
    int findPortName(const std::string& name) const override {
        const auto at = std::find(entries.begin(), entries.end(), name + " ");
        return at == entries.end() ? -1 : static_cast<int>(at - entries.begin());
    }
    void setPortDescription(const std::string& name, const std::string& description) override {
        if (const int at = findPortName(name); at >= 0) {
            entries[at] += description;
        }
    }
    std::vector<std::string> entries;
};

// Times `runs` calls of what and prints the figures in microseconds.
void report(const char* what, int runs, const std::function<void()>& run) {
    std::vector<double> us;
    double sum = 0;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        run();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        sum += us.back();
    }
    std::sort(us.begin(), us.end());
    std::printf("%s, %d runs: mean %.1f us, p50 %.1f us, p99 %.1f us, max %.1f us\n", what, runs, sum / runs,
                us[us.size() / 2], us[us.size() * 99 / 100], us.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int scans = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    MemoryList list;
#ifdef _WIN32
    PortProbe& probe = systemPortProbe();
    report("rescan: COM0..COM254 and Device Manager's names", scans, [&] { refreshPortList(list, probe); });
    std::size_t named = 0;
    report("of which Device Manager's names", scans,
           [&] { named = comPortDescriptions(systemSetupApi()).size(); });
    std::printf("Device Manager names %zu ports\n", named);
#else
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lumenta-scan-" + std::to_string(getpid()));
    std::vector<std::unique_ptr<PublishedPort> > ports;
    for (int i = 0; i < 3; ++i) {
        std::string error;
        ports.push_back(PublishedPort::publish(dir.string(), "scan" + std::to_string(i), "/dev/null", error));
        if (!ports.back()) {
            std::fprintf(stderr, "cannot publish a virtual port: %s\n", error.c_str());
            return 1;
        }
    }
    SysfsPortProbe probe("/sys/class/tty", "/dev", dir.string());
    report("rescan: sysfs ttys and 3 live virtual ports", scans, [&] { refreshPortList(list, probe); });
    ports.clear();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
#endif
    std::printf("listed:");
    for (const std::string& entry : list.entries) {
        std::printf(" [%s]", entry.c_str());
    }
    std::printf("\n");
    return 0;
}
