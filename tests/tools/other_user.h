#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// Other local users, for the tests of what one user can do to another. CI runs as root, so any uid
// can be taken with setpriv (it needs no account); programs run from world-readable copies, since
// the build tree need not be open to other users.
namespace other_user {

inline bool available() {
    return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
}

// Uids of no account, different for each test process, so that parallel tests keep apart.
inline uid_t victim() {
    return static_cast<uid_t>(61000 + (getpid() % 1000) * 2);
}
inline uid_t attacker() {
    return victim() + 1;
}

// A copy of program that every user may run, in a directory of this process that goes at exit.
inline std::string runnableCopy(const std::string& program) {
    namespace fs = std::filesystem;
    static const struct Dir {
        Dir() {
            char pattern[] = "/tmp/lumenta-bin-XXXXXX";
            path = mkdtemp(pattern) != nullptr ? pattern : "";
            chmod(path.c_str(), 0755);
        }
        ~Dir() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
        std::string path;
    } dir;
    const fs::path copy = fs::path(dir.path) / fs::path(program).filename();
    std::error_code ignored;
    fs::copy_file(program, copy, fs::copy_options::skip_existing, ignored);
    chmod(copy.c_str(), 0755);
    return copy.string();
}

// The command line that runs program with args as uid, in no group, with the variables named in
// unset removed from its environment: the program is "env", these its arguments.
inline std::vector<std::string> commandAs(uid_t uid, const std::string& program,
                                          const std::vector<std::string>& args,
                                          const std::vector<std::string>& unset = {}) {
    std::vector<std::string> line;
    for (const std::string& name : unset) {
        line.insert(line.end(), {"-u", name});
    }
    const std::string id = std::to_string(uid);
    line.insert(line.end(),
                {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--", runnableCopy(program)});
    line.insert(line.end(), args.begin(), args.end());
    return line;
}

// A directory of uid's own (mode 0700) at path, as that user would have made it.
inline bool makeDirectoryOf(uid_t uid, const std::string& path, mode_t mode = 0700) {
    return mkdir(path.c_str(), mode) == 0 && chmod(path.c_str(), mode) == 0 &&
           chown(path.c_str(), uid, uid) == 0;
}

}  // namespace other_user
