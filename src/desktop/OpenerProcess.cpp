#include "desktop/OpenerProcess.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace tallymere::OpenerProcess {

bool start(const std::string& program, const std::string& argument, std::chrono::seconds watch,
           std::function<void(Ending)> failed) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    // The window's threads may block signals, and a broken pipe is the program's own to die of;
    // its own session keeps it out of the signals sent to the window's terminal.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    std::string name = program, word = argument;
    char* arguments[] = {name.data(), word.data(), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), nullptr, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return false;

    const auto started = std::chrono::steady_clock::now();
    auto wait = [pid, started, watch, failed = std::move(failed)] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0)
            if (errno != EINTR) return;
        if (std::chrono::steady_clock::now() - started > watch) return;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        if (failed) failed(WIFSIGNALED(status) ? Ending{true, WTERMSIG(status)} : Ending{false, WEXITSTATUS(status)});
    };
    try {
        std::thread(std::move(wait)).detach();
    } catch (const std::system_error&) {
        // No thread to watch it: it was handed on, and nobody hears how it ends.
    }
    return true;
}

} // namespace tallymere::OpenerProcess
