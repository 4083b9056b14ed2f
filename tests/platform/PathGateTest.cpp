#include "platform/PathGate.h"
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GatePoolSeam.h"
#include "support/DeadFuse.h"
#include "support/EndsWithin.h"
#include "support/NoChildProcesses.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace tallymere {
namespace {

using PathGate::notAnswering;
using test::endsWithin;

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Every call on a local disk, links followed as each call follows them, special files never opened
// for reading or written over.
TEST(PathGateHere, EachCallOnALocalDiskAsTheSystemMakesIt) {
    test::TempFolder folder;
    folder.folder("sub");
    std::ofstream(folder / "file") << "abcdef";
    ASSERT_EQ(::symlink("file", (folder / "link").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (folder / "sublink").c_str()), 0);
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("loop", (folder / "loop").c_str()), 0);

    EXPECT_TRUE(S_ISREG(PathGate::stat(folder / "link").info.st_mode));
    EXPECT_TRUE(S_ISLNK(PathGate::lstat(folder / "link").info.st_mode));
    EXPECT_TRUE(S_ISDIR(PathGate::lstat(folder / "sublink/..").info.st_mode));
    EXPECT_EQ(PathGate::stat(folder / "sublink/../file").info.st_size, 6);
    EXPECT_EQ(PathGate::stat(folder / "missing").error, ENOENT);
    EXPECT_EQ(PathGate::stat(folder / "file/x").error, ENOTDIR);
    EXPECT_EQ(PathGate::stat(folder / "loop").error, ELOOP);
    EXPECT_EQ(PathGate::readLink(folder / "sublink").text, "sub");
    EXPECT_EQ(PathGate::realPath(folder / "sublink/./../link").text, folder / "file");
    EXPECT_EQ(sorted(PathGate::list(folder / "sublink").names), std::vector<std::string>{});
    EXPECT_EQ(sorted(PathGate::list(folder.path()).names),
              (std::vector<std::string>{"file", "link", "loop", "pipe", "sub", "sublink"}));
    EXPECT_EQ(PathGate::readFile(folder / "link", 2, 3).text, "cde");
    EXPECT_EQ(PathGate::readFile(folder / "file", 4, 100).text, "ef");
    EXPECT_EQ(PathGate::readFile(folder / "pipe", 0, 10).error, EINVAL) << "a pipe is never opened for reading";
    EXPECT_EQ(PathGate::statVfs(folder / "file").error, 0);

    EXPECT_EQ(PathGate::writeFile(folder / "sublink/new", "xyz"), 0);
    EXPECT_EQ(PathGate::readFile(folder / "sub/new", 0, 10).text, "xyz");
    ASSERT_EQ(::chmod((folder / "sub/new").c_str(), 0600), 0);
    EXPECT_EQ(PathGate::writeFile(folder / "sub/new", "again"), 0);
    EXPECT_EQ(PathGate::stat(folder / "sub/new").info.st_mode & 0777, 0600u) << "a file written over keeps its mode";
    EXPECT_EQ(PathGate::writeFile(folder / "pipe", "x"), EINVAL);
    EXPECT_EQ(PathGate::writeFile(folder / "link", "x"), EINVAL) << "a link is not written through";
    EXPECT_EQ(PathGate::readFile(folder / "file", 0, 10).text, "abcdef");
    EXPECT_EQ(sorted(PathGate::list(folder / "sub").names), std::vector<std::string>{"new"}) << "no part file left";

    EXPECT_EQ(PathGate::makeFolder(folder / "made", 0700), 0);
    EXPECT_EQ(PathGate::makeFolder(folder / "made", 0700), EEXIST);
    EXPECT_EQ(PathGate::rename(folder / "sub/new", folder / "made/moved"), 0);
    EXPECT_EQ(PathGate::removeFile(folder / "made/moved"), 0);
    EXPECT_EQ(PathGate::removeFile(folder / "made/moved"), ENOENT);

    const PathGate::Reader reader(folder / "link");
    EXPECT_EQ(reader.error(), 0);
    EXPECT_GE(reader.descriptor(), 0) << "a file on a local disk is read through a descriptor";
    EXPECT_EQ(reader.read(1, 2).text, "bc");
    EXPECT_EQ(reader.look().info.st_size, 6);
    EXPECT_EQ(PathGate::Reader(folder / "pipe").error(), EINVAL);
    EXPECT_EQ(PathGate::Reader(folder / "sub").error(), EINVAL);

    // A relative path is taken from the working folder.
    const std::string before = std::filesystem::current_path();
    ASSERT_EQ(::chdir(folder.path().c_str()), 0);
    const PathGate::Text relative = PathGate::realPath("sublink/../file");
    ASSERT_EQ(::chdir(before.c_str()), 0);
    EXPECT_EQ(relative.text, folder / "file");
}

// On a mount whose server stopped, every way to it (the mount point, below it, a link to it, a
// relative path) says so within the bound, and the process that asked can still end while the
// server stays stopped: no thread of it waits on the mount.
TEST(PathGateBound, EveryWayOntoAMountThatNeverAnswersSaysSoAndTheProgramEnds) {
    test::TempFolder folder;
    const std::string dead = folder.folder("dead");
    ASSERT_EQ(::symlink(dead.c_str(), (folder / "toDead").c_str()), 0);
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(dead);
        if (!fuse.isMounted()) test::cannotRunHere(fuse.whyNotMounted());
        const bool ended = endsWithin(30, [&] {
            ASSERT_EQ(::chdir(folder.path().c_str()), 0);
            // A shorter bound asked for is the one waited for, not the gate's own.
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(PathGate::statEach({dead}, std::chrono::milliseconds(250)).front().error, notAnswering);
            EXPECT_LT(std::chrono::steady_clock::now() - start, PathGate::answerLimit / 2);
            EXPECT_EQ(PathGate::stat(dead).error, notAnswering);
            for (const std::string& way : {dead + "/x", folder / "toDead/x", std::string("dead/x"), std::string("toDead")}) {
                EXPECT_EQ(PathGate::stat(way).error, notAnswering) << way;
                EXPECT_EQ(PathGate::readFile(way, 0, 10).error, notAnswering) << way;
                EXPECT_EQ(PathGate::list(way).error, notAnswering) << way;
                EXPECT_EQ(PathGate::realPath(way).error, notAnswering) << way;
                EXPECT_EQ(PathGate::writeFile(way + "/y", "x"), notAnswering) << way;
            }
            EXPECT_EQ(PathGate::lstat(folder / "toDead").error, 0) << "the link itself lies on a disk that answers";
            EXPECT_EQ(PathGate::statEach({dead, folder / "toDead", folder.path()}).back().error, 0);
            // The mount held one helper; every later call was told at once, not given another.
            EXPECT_EQ(fuse.requests(), 1);
            EXPECT_LE(gate::livingHelpers(), gate::mostIdle + 1);
        });
        EXPECT_TRUE(ended) << "a process that looked at a dead mount could not end";
        // The helper left blocked holds nothing of the program's: its output, here a pipe, ends
        // when the program ends, while the server stays stopped.
        int output[2];
        ASSERT_EQ(::pipe(output), 0);
        const bool alsoEnded = endsWithin(30, [&] {
            ::dup2(output[1], STDOUT_FILENO);
            ::dup2(output[1], STDERR_FILENO);
            EXPECT_EQ(PathGate::stat(dead + "/other").error, notAnswering);
        });
        ::close(output[1]);
        EXPECT_TRUE(alsoEnded);
        // What the process wrote is read past; then the pipe must be at its end, not merely empty.
        ::fcntl(output[0], F_SETFL, O_NONBLOCK);
        char bytes[4096];
        ssize_t got = 0;
        while ((got = ::read(output[0], bytes, sizeof bytes)) > 0) {
        }
        EXPECT_EQ(got, 0) << "someone still holds the program's output";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A mount that served and then stopped: its files are read through a helper while it serves, and
// once it stops, calls fail within the bound; when it is taken down, the helpers it held come back
// and it is asked again.
TEST(PathGateBound, AMountThatStopsAnsweringIsReadUntilThenAndAskedAgainOnceItIsGone) {
    test::TempFolder folder;
    const std::string mount = folder.folder("net");
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::StallingFuse>(mount);
        if (!fuse->isMounted()) test::cannotRunHere("no FUSE mount here");
        EXPECT_EQ(PathGate::stat(mount + "/file.txt").info.st_size, 6);
        EXPECT_EQ(PathGate::readFile(mount + "/sub/inner.txt", 0, 100).text, "inner\n");
        EXPECT_EQ(sorted(PathGate::list(mount).names), (std::vector<std::string>{"file.txt", "sub"}));
        EXPECT_EQ(PathGate::statVfs(mount).info.f_blocks, 1000u);
        const PathGate::Reader reader(mount + "/file.txt");
        EXPECT_EQ(reader.descriptor(), -1) << "nothing of a file on such a mount is held here";
        EXPECT_EQ(reader.read(0, 100).text, "hello\n");
        fuse->stall();
        EXPECT_EQ(reader.read(0, 100).error, notAnswering);
        EXPECT_EQ(PathGate::stat(mount + "/file.txt").error, notAnswering);
        EXPECT_EQ(PathGate::readFile(mount + "/file.txt", 0, 10).error, notAnswering);
        EXPECT_TRUE(gate::isSilent(mount));
        fuse.reset();
        // The blocked helper's call fails once the mount is gone, and it ends.
        for (int i = 0; i < 200 && gate::isSilent(mount); ++i) ::usleep(10 * 1000);
        EXPECT_FALSE(gate::isSilent(mount));
        EXPECT_NE(PathGate::stat(mount + "/file.txt").error, notAnswering);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// Where no helper can be started, a limit is not taken for a mount that does not answer: the call
// is made by the caller, and the program says so once.
TEST(PathGateBound, WithoutHelpersTheCallIsMadeHereAndSaidOnce) {
    test::TempFolder folder;
    const std::string mount = folder.folder("net");
    const std::string said = folder / "stderr";
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        const int log = ::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, STDERR_FILENO);
        if (!test::forbidChildProcesses()) test::cannotRunHere("no filter of system calls here");
        EXPECT_EQ(PathGate::stat(mount + "/file.txt").info.st_size, 6);
        EXPECT_EQ(PathGate::readFile(mount + "/file.txt", 0, 100).text, "hello\n");
        std::ifstream in(said);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find("cannot bound looks at network and FUSE mounts here"), std::string::npos) << text;
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

} // namespace
} // namespace tallymere
