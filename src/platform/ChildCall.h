#pragma once
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <type_traits>

namespace tallymere {

// Makes a call that may block in the kernel for ever (a stat of a FUSE mount whose server stopped
// answering) from a child process, and waits for its answer. A thread stuck in such a call can
// never be killed (the kernel waits for the server's answer once the server has read the
// request), and a process ends only when its last thread has: made here, the call holds the
// child, and this process, whose own wait for the answer can always be interrupted, can still end.
// The child shares this process's memory until it ends, so what it holds stays while it is stuck.
//
// `call` runs in the child of a process that may have other threads: it may use system calls
// only (no allocation, no locks). The answer is copied through a pipe. None when no child could
// be made or it ended without answering. Blocks until the child answers.
template <class Answer, class Call>
std::optional<Answer> callInChild(const Call& call) {
    static_assert(std::is_trivially_copyable_v<Answer>);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        const Answer answer = call();
        [[maybe_unused]] const ssize_t written = ::write(ends[1], &answer, sizeof answer);
        ::_exit(0);
    }
    ::close(ends[1]);
    std::optional<Answer> result;
    if (child > 0) {
        Answer answer;
        auto* bytes = reinterpret_cast<char*>(&answer);
        std::size_t got = 0;
        while (got < sizeof answer) {
            const ssize_t n = ::read(ends[0], bytes + got, sizeof answer - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got == sizeof answer) result = answer;
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(ends[0]);
    return result;
}

} // namespace tallymere
