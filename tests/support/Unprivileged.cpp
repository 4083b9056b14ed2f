#include "support/Unprivileged.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace tallymere::test {

namespace {

// In a child: which part of the test it runs, and where it writes why it cannot.
constexpr const char* partVariable = "TALLYMERE_TEST_PART";
constexpr const char* reasonVariable = "TALLYMERE_TEST_PART_REASON";

std::string& lastReason() {
    static std::string reason;
    return reason;
}

std::string currentTestName() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return test ? std::string(test->test_suite_name()) + "." + test->name() : std::string();
}

// The number of this call among the calls of the running test, counted from 0.
int nextPart() {
    static std::string test;
    static int calls = 0;
    const std::string name = currentTestName();
    if (name != test) {
        test = name;
        calls = 0;
    }
    return calls++;
}

std::string systemReason(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}

// The child's side: runs the part asked for and ends. Parts before it are the parent's.
bool runHere(int part, int wanted, const std::function<std::string()>& enter, const std::function<void()>& body) {
    if (part != wanted) return true;
    if (const std::string why = enter(); !why.empty()) cannotRunHere(why);
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
}

} // namespace

void cannotRunHere(const std::string& reason) {
    if (const char* file = std::getenv(reasonVariable)) std::ofstream(file) << reason;
    std::fflush(stdout);
    ::_exit(77);
}

const std::string& whyNotRun() { return lastReason(); }

bool runInFreshChild(const std::function<std::string()>& enter, const std::function<void()>& body) {
    const int part = nextPart();
    if (const char* wanted = std::getenv(partVariable)) return runHere(part, std::atoi(wanted), enter, body);

    // Made here, removed here: the child's own folders never get the chance to remove themselves.
    TempFolder scratch("tallymere-child");
    // The child may become another user, who must still reach the folders it makes inside.
    ::chmod(scratch.path().c_str(), 0755);
    const std::string reasonFile = scratch / "why-not";
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        if (name != "TMPDIR" && name != "GTEST_OUTPUT" && name != partVariable && name != reasonVariable)
            environment.emplace_back(text);
    }
    environment.push_back("TMPDIR=" + scratch.path());
    environment.push_back(std::string(partVariable) + "=" + std::to_string(part));
    environment.push_back(std::string(reasonVariable) + "=" + reasonFile);
    std::vector<std::string> arguments{"/proc/self/exe", "--gtest_filter=" + currentTestName(), "--gtest_brief=1"};
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (std::string& text : texts) list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    };
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    std::fflush(stdout);
    pid_t child = -1;
    if (const int error = ::posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), envp.data()); error != 0) {
        lastReason() = std::string("cannot start a child: ") + std::strerror(error);
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        std::ifstream file(reasonFile);
        std::ostringstream reason;
        reason << file.rdbuf();
        lastReason() = reason.str().empty() ? "the part cannot run here" : reason.str();
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the part run in a child failed";
    return true;
}

bool runUnprivileged(const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return true;
    }
    return runInFreshChild(
        [] {
            const auto refused = [](const char* call) { return "cannot become the user nobody here (" + systemReason(call) + ")"; };
            if (::setgroups(0, nullptr) != 0) return refused("setgroups");
            if (::setresgid(65534, 65534, 65534) != 0) return refused("setresgid");
            if (::setresuid(65534, 65534, 65534) != 0) return refused("setresuid");
            return std::string();
        },
        body);
}

bool runInPrivateMounts(const std::function<void()>& body) {
    return runInFreshChild(
        [] {
            if (::unshare(CLONE_NEWNS) != 0) return "no private mount namespace here (" + systemReason("unshare") + ")";
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                return "no private mount namespace here (" + systemReason("mount") + ")";
            return std::string();
        },
        body);
}

} // namespace tallymere::test
