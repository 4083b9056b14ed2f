#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>

namespace tallymere::test {

namespace {

// Forks; the child runs `enter` and, when it succeeds, `body`, and reports the test's failures by
// its status. False when `enter` failed, so the part could not run here.
bool runInChild(bool (*enter)(), const std::function<void()>& body, const char* what) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!enter()) ::_exit(77);
        body();
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return false;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the " << what << " part failed";
    return true;
}

} // namespace

bool runUnprivileged(const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return true;
    }
    return runInChild(
        [] {
            return ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                   ::setresuid(65534, 65534, 65534) == 0;
        },
        body, "unprivileged");
}

bool runInPrivateMounts(const std::function<void()>& body) {
    return runInChild(
        [] { return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0; },
        body, "private-mounts");
}

} // namespace tallymere::test
