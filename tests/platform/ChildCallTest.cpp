#include "platform/ChildCall.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace tallymere {
namespace {

// A child stuck in its call for ever keeps what it holds for ever, also after the program has
// ended: it holds none of the program's descriptors, here a pipe's two ends, which the program
// keeps open meanwhile.
TEST(ChildCall, TheChildHoldsNoneOfTheProgramsDescriptors) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the call is made on the calling thread under the thread sanitizer";
#endif
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    struct Held {
        pid_t process = 0;
        bool reading = false, writing = false;
    };
    const std::optional<Held> held = callInChild<Held>([&ends] {
        return Held{::getpid(), ::fcntl(ends[0], F_GETFD) != -1, ::fcntl(ends[1], F_GETFD) != -1};
    });
    ASSERT_TRUE(held.has_value());
    if (held->process == ::getpid()) GTEST_SKIP() << "no child can be made here";
    EXPECT_FALSE(held->reading);
    EXPECT_FALSE(held->writing);
    EXPECT_NE(::fcntl(ends[0], F_GETFD), -1) << "the program's own descriptors stay open";
    EXPECT_NE(::fcntl(ends[1], F_GETFD), -1);
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace
} // namespace tallymere
