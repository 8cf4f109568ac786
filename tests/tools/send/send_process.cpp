#include "tests/tools/send/send_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool overridden = false;
        for (const std::string& given : extra) {
            overridden = overridden || given.substr(0, given.find('=')) == name;
        }
        if (!overridden) {
            merged.push_back(text);
        }
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

RunningProcess::RunningProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::vector<std::string>& extraEnvironment) {
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        return;
    }
    input_ = in[1];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = mergedEnvironment(extraEnvironment);
    std::vector<char*> argv = pointers(argvStrings);
    std::vector<char*> envp = pointers(envStrings);
    if (posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid_ <= 0) {
        close(out[0]);
        close(err[0]);
        return;
    }
    reader_ = std::thread(&RunningProcess::collect, this, out[0], err[0]);
}

RunningProcess::~RunningProcess() {
    if (pid_ > 0 && exitCode_ < 0) {
        kill(pid_, SIGKILL);
        wait(std::chrono::seconds(10));
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    if (input_ >= 0) {
        close(input_);
    }
}

void RunningProcess::collect(int outFd, int errFd) {
    pollfd watched[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out_, &err_};
    for (int open = 2; open > 0;) {
        if (poll(watched, 2, -1) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (watched[i].fd < 0 || watched[i].revents == 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t got = read(watched[i].fd, chunk, sizeof chunk);
            std::lock_guard<std::mutex> hold(lock_);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<std::size_t>(got));
            } else {
                close(watched[i].fd);
                watched[i].fd = -1;
                --open;
            }
            changed_.notify_all();
        }
    }
    std::lock_guard<std::mutex> hold(lock_);
    outputEnded_ = true;
    changed_.notify_all();
}

bool RunningProcess::waitForOutput(const std::function<bool(const std::string&)>& done,
                                   std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, limit, [&] { return done(out_) || outputEnded_; }) && done(out_);
}

std::string RunningProcess::out() const {
    std::lock_guard<std::mutex> hold(lock_);
    return out_;
}

std::string RunningProcess::err() const {
    std::lock_guard<std::mutex> hold(lock_);
    return err_;
}

bool RunningProcess::writeLine(const std::string& line) {
    const std::string text = line + "\n";
    return input_ >= 0 && ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void RunningProcess::signal(int number) {
    if (pid_ > 0 && exitCode_ < 0) {
        kill(pid_, number);
    }
}

int RunningProcess::wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0 || exitCode_ >= 0) {
        return exitCode_;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // Output may still come from a child it left behind; what it printed itself is in the pipes.
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::seconds(10), [this] { return outputEnded_; });
    return exitCode_;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnvironment) {
    RunningProcess process(program, args, extraEnvironment);
    ProcessResult result;
    if (!process.started()) {
        return result;
    }
    result.exitCode = process.wait(std::chrono::seconds(10));
    if (result.exitCode < 0) {
        process.signal(SIGKILL);
        result.exitCode = process.wait(std::chrono::seconds(10));
    }
    result.out = process.out();
    result.err = process.err();
    return result;
}
