#include "thread_probe.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string taskFile(pid_t tid, const char* name) {
    return "/proc/self/task/" + std::to_string(tid) + "/" + name;
}

}  // namespace

std::set<pid_t> threadIds() {
    // Some runtimes start a helper thread of their own with the first thread the program makes
    // (ThreadSanitizer does); make it exist before the first snapshot, so it is never taken for ours.
    static const bool runtimeSettled = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)runtimeSettled;
    std::set<pid_t> ids;
    for (const auto& entry : fs::directory_iterator("/proc/self/task")) {
        ids.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return ids;
}

pid_t newThread(const std::set<pid_t>& before) {
    pid_t found = 0;
    int count = 0;
    for (pid_t id : threadIds()) {
        if (before.count(id) == 0) {
            found = id;
            ++count;
        }
    }
    return count == 1 ? found : 0;
}

long long threadCpuNanoseconds(pid_t tid) {
    std::ifstream in(taskFile(tid, "schedstat"));
    long long onCpu = -1;
    in >> onCpu;
    return in ? onCpu : -1;
}

long long threadVoluntarySwitches(pid_t tid) {
    std::ifstream in(taskFile(tid, "status"));
    std::string line;
    const std::string key = "voluntary_ctxt_switches:";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0) {
            return std::stoll(line.substr(key.size()));
        }
    }
    return -1;
}

int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}
