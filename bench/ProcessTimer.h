// Timing whole processes for the benchmarks that race other programs: wall and CPU time of one
// run, and the median of several.
#pragma once
#include "Stats.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace tallymere::bench {

struct Timed {
    double wall = 0; // seconds
    double cpu = 0;  // user and system seconds of the process
};

// Runs a program (looked up on PATH) to its end with its standard error discarded and its standard
// output collected into `output`, or discarded without one; its times, or nothing when it could not
// run or did not exit with 0.
inline std::optional<Timed> runTimed(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (output) ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    else ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        if (output) output->append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    const auto toSeconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return Timed{seconds, toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime)};
}

} // namespace tallymere::bench
