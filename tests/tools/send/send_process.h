#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One finished run of a program: its exit status and everything it printed.
struct ProcessResult {
    int exitCode = -1;  // 128 + signal when killed by one; -1 when it could not be started
    std::string out;
    std::string err;
};

// A program started with the environment of this process plus (or overriding) extra NAME=VALUE
// entries. What it prints is collected in the background; its standard input stays open, with
// nothing to read, for as long as this object lives; it is killed if it still runs at the end.
class RunningProcess {
public:
    RunningProcess(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& extraEnvironment = {});
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits until what it printed on standard output satisfies done, or the time is up.
    bool waitForOutput(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds limit);
    std::string out() const;
    std::string err() const;
    // Writes one line to its standard input; false when it does not take it all.
    bool writeLine(const std::string& line);
    void signal(int number);
    // The exit code (128 + signal when killed by one) once it has ended and its output is read;
    // -1 when it did not end within the time.
    int wait(std::chrono::milliseconds limit);

private:
    void collect(int outFd, int errFd);

    pid_t pid_ = -1;
    int input_ = -1;  // the writing end of its standard input
    int exitCode_ = -1;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::string out_;
    std::string err_;
    bool outputEnded_ = false;
    std::thread reader_;
};

// Runs program with args and the environment of this process plus (or overriding) extra NAME=VALUE
// entries; gives up and kills it after ten seconds.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnvironment = {});
