#include "platform/CommandRunner.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tallymere::CommandRunner {

namespace {

// The caller's environment with numbers forced to the C form: a program that prints "4,5" in the
// user's locale would otherwise fail every parser. A global LC_ALL would override LC_NUMERIC, so
// it is passed on as LANG instead, which keeps the user's text encoding.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> entries;
    std::string lcAll;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("LC_ALL=")) {
            lcAll = std::string(text.substr(7));
            continue;
        }
        if (text.starts_with("LC_NUMERIC=")) continue;
        if (!lcAll.empty() && text.starts_with("LANG=")) continue;
        entries.emplace_back(text);
    }
    if (!lcAll.empty()) {
        std::erase_if(entries, [](const std::string& e) { return e.starts_with("LANG="); });
        entries.push_back("LANG=" + lcAll);
    }
    entries.emplace_back("LC_NUMERIC=C");
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

// Waits for the child until the deadline; a child that closed its output but lingers past it is
// killed, so the caller is never held longer than the time-out. True when it ended by itself.
bool reap(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return true;
        if (std::chrono::steady_clock::now() >= deadline) break;
        ::usleep(2000);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return false;
}

} // namespace

CommandOutput run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout, std::size_t limit) {
    CommandOutput output;
    if (argv.empty() || !argv[0].starts_with('/')) return output;

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return output;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = childEnvironment();
    auto argumentPointers = pointers(arguments);
    auto environmentPointers = pointers(environment);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argumentPointers.data(),
                                      environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return output;
    }

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string text;
    bool timedOut = false;
    char chunk[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd entry{.fd = pipeFds[0], .events = POLLIN, .revents = 0};
        const int ready = ::poll(&entry, 1, int(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (ready == 0) continue;
        const ssize_t n = ::read(pipeFds[0], chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        if (text.size() < limit) text.append(chunk, std::min(std::size_t(n), limit - text.size()));
    }
    ::close(pipeFds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    if (!reap(pid, deadline)) timedOut = true;
    if (timedOut) {
        output.status = CommandOutput::Status::timedOut;
        return output;
    }
    output.status = CommandOutput::Status::finished;
    output.text = std::move(text);
    return output;
}

} // namespace tallymere::CommandRunner
