#pragma once

#include <string>
#include <vector>

// One finished run of a program: its exit status and everything it printed.
struct ProcessResult {
    int exitCode = -1;  // 128 + signal when killed by one; -1 when it could not be started
    std::string out;
    std::string err;
};

// Runs program with args and the environment of this process plus (or overriding) extra NAME=VALUE
// entries; gives up and kills it after ten seconds.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnvironment = {});
