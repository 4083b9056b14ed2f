#pragma once
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <new>
#include <optional>

namespace tallymere {

// Makes a call that may block in the kernel for ever (a stat of a FUSE mount whose server stopped
// answering) from a child process, and waits for its answer. A thread stuck in such a call can
// never be killed (the kernel waits for the server's answer once the server has read the
// request), and a process ends only when its last thread has. Made here, the call holds the child,
// and this process, whose wait for the child can always be killed, can still end.
//
// The child shares this process's memory (nothing is copied, so a call costs about what a thread
// does) and runs on a stack of its own while the calling thread waits; what the memory holds stays
// while the child is stuck. Of its copies of this process's descriptors it keeps none: a child
// stuck for ever would otherwise hold every file and folder open at that moment (a disk could not
// be unmounted, a deleted file's space never came back, a pipe never ended), also after this
// process has ended. `call` may use system calls only (no allocation, no locks: other threads of
// this process may hold them) and no descriptor. None when the child ended without answering
// (killed).
//
// Where no child can be made (a limit on processes, a sandbox's filter), the call is made on the
// calling thread: it may then hold that thread, but a caller that bounds its wait still gets its
// answer in time, where none would pass for an answer that says nothing is there.
//
// Under the thread sanitizer the call is always made on the calling thread: its runtime takes every
// clone for a fork and resets, in the child, its own records, which a child sharing this memory
// shares with the parent, so the parent loses what it knew of the order of its threads' work and
// may start no thread again.
template <class Answer, class Call>
std::optional<Answer> callInChild(const Call& call) {
#if defined(__SANITIZE_THREAD__)
    return call();
#endif
    struct Shared {
        const Call* call;
        Answer answer{};
        bool answered = false;
    };
    Shared shared{&call};
    constexpr std::size_t stackBytes = 256 * 1024;
    const std::unique_ptr<char[]> stack(new (std::nothrow) char[stackBytes]);
    if (!stack) return call();
    const auto run = [](void* argument) -> int {
        auto& s = *static_cast<Shared*>(argument);
        ::close_range(0, ~0U, 0);
        s.answer = (*s.call)();
        s.answered = true;
        return 0;
    };
    // CLONE_VFORK: this thread waits, killably, until the child has ended.
    const pid_t child = ::clone(run, stack.get() + stackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD, &shared);
    if (child < 0) return call();
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!shared.answered) return std::nullopt;
    return shared.answer;
}

} // namespace tallymere
