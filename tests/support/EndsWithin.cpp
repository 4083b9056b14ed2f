#include "support/EndsWithin.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <cstdio>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallymere::test {

bool endsWithin(int seconds, const std::function<void()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    const int watch = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{watch, POLLIN, 0};
    const bool inTime = ::poll(&ended, 1, seconds * 1000) == 1;
    ::close(watch);
    int status = 0;
    if (!inTime) ::kill(child, SIGKILL);
    else ::waitpid(child, &status, 0);
    EXPECT_TRUE(!inTime || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << "the process that ended failed";
    return inTime;
}

} // namespace tallymere::test
