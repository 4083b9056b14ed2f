#include "platform/MountTable.h"
#include "platform/PathGate.h"
#include "platform/Places.h"
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GatePoolSeam.h"
#include "support/DeadFuse.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <linux/fuse.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tallymere {
namespace {

using PathGate::notAnswering;
using Clock = std::chrono::steady_clock;
using DeadKind = test::DeadFuse::Kind;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
constexpr double bound = std::chrono::duration<double>(PathGate::answerLimit).count();

// The processes this one has started and not reaped, read from the kernel rather than the gate.
int childProcesses() {
    int count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* task = ::readdir(tasks)) {
            if (task->d_name[0] == '.') continue;
            std::ifstream children(std::string("/proc/self/task/") + task->d_name + "/children");
            for (pid_t pid; children >> pid;) ++count;
        }
        ::closedir(tasks);
    }
    return count;
}

// A mount that stops answering costs one bound, however it stopped (its server reading requests
// and answering none, or reading none), however many looks or mounts an action holds: the mount is
// remembered, and asked one call at a time until it has answered.
TEST(GateSilentMounts, AMountThatStopsCostsOneBoundAndIsRememberedWhateverKindOfServer) {
    for (const DeadKind kind : {DeadKind::readsAndNeverAnswers, DeadKind::stopsReading}) {
        SCOPED_TRACE(kind == DeadKind::stopsReading ? "a server that stopped reading" : "a server that never answers");
        test::TempFolder folder;
        const std::string home = folder.folder("home");
        std::vector<std::string> points;
        for (int i = 0; i < 50; ++i) points.push_back(folder.folder("m" + std::to_string(i)));
        const bool ran = test::runInPrivateMounts([&] {
            std::vector<std::unique_ptr<test::DeadFuse>> mounts;
            for (const std::string& point : points) {
                mounts.push_back(std::make_unique<test::DeadFuse>(point, kind));
                if (!mounts.back()->isMounted()) test::cannotRunHere(mounts.back()->whyNotMounted());
            }
            const bool ended = test::endsWithin(60, [&] {
                // Four looks 300 ms apart at one mount.
                auto start = Clock::now();
                for (int i = 0; i < 4; ++i) {
                    EXPECT_EQ(PathGate::stat(points[0] + "/x" + std::to_string(i)).error, notAnswering);
                    ::usleep(300 * 1000);
                }
                EXPECT_LT(secondsSince(start), bound + 1.2 + 0.5) << "four looks cost one bound in all";
                EXPECT_TRUE(gate::isSilent(points[0]));

                // Four paths of another mount in one batch: one helper, one bound.
                start = Clock::now();
                for (const PathGate::Status& status : PathGate::lstatEach(
                         {points[1] + "/a", points[1] + "/b", points[1] + "/c", points[1] + "/d"})) {
                    EXPECT_EQ(status.error, notAnswering);
                }
                EXPECT_LT(secondsSince(start), bound + 0.5);
                if (kind == DeadKind::readsAndNeverAnswers) {
                    EXPECT_EQ(mounts[1]->requests(), 1);
                }

                // The places, with 50 such mounts: one bound, then nothing.
                Places::Sources sources;
                sources.home = home;
                sources.dataHome = home + "/.local/share";
                sources.mounts = *MountTable::current();
                sources.uid = ::getuid();
                start = Clock::now();
                Places::lookAt(sources);
                EXPECT_LT(secondsSince(start), bound + 1.0) << "the first look costs one bound";
                start = Clock::now();
                Places::lookAt(sources);
                EXPECT_LT(secondsSince(start), 0.3) << "the mounts are remembered";
                // The helpers the README states: one for each mount that does not answer, at most
                // mostLeft, and a few idle.
                EXPECT_LE(gate::leftHelpers(), gate::mostLeft);
                EXPECT_LE(childProcesses(), gate::mostLeft + gate::mostIdle);
                EXPECT_LE(gate::livingHelpers(), gate::mostLeft + gate::mostIdle);
            });
            EXPECT_TRUE(ended);
        });
        if (!ran) GTEST_SKIP() << test::whyNotRun();
    }
}

// Writes go in stretches: a file several bounds long reaches a slow mount that answers, one cut off
// halfway leaves nothing once the mount answers again, and a rename whose helper dies after it was
// made is not made again.
TEST(GateSilentMounts, WritesGoInStretchesLeaveNothingWhenCutOffAndAreNeverSentTwice) {
    test::TempFolder folder;
    const std::string mount = folder.folder("net");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        std::string bytes(5 * 1024 * 1024, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);

        fuse.delayWrites(100);
        const auto start = Clock::now();
        EXPECT_EQ(PathGate::writeFile(mount + "/big.bin", bytes), 0);
        EXPECT_GT(secondsSince(start), 2 * bound) << "each stretch within the bound, the whole well past it";
        EXPECT_FALSE(gate::isSilent(mount)) << "a slow mount that answers is not taken for dead";
        EXPECT_EQ(PathGate::stat(mount + "/big.bin").info.st_size, static_cast<off_t>(bytes.size()));
        EXPECT_EQ(PathGate::readFile(mount + "/big.bin", bytes.size() - 100, 100).text, bytes.substr(bytes.size() - 100));

        fuse.delayWrites(0);
        fuse.stallAfterWriting(bytes.size() / 2);
        EXPECT_EQ(PathGate::writeFile(mount + "/half.bin", bytes), notAnswering);
        EXPECT_TRUE(gate::isSilent(mount));
        ::usleep(500 * 1000);
        fuse.resume();
        std::vector<std::string> names;
        for (int i = 0; i < 100; ++i) {
            const PathGate::Listing listing = PathGate::list(mount);
            names = listing.names;
            if (!listing.error && std::none_of(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".part"); }))
                break;
            ::usleep(100 * 1000);
        }
        EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
                  (std::vector<std::string>{"file.txt", "sub", "big.bin"}))
            << "the part file went once the mount answered, and the file was not made";

        ASSERT_EQ(PathGate::writeFile(mount + "/a.txt", "a"), 0);
        const int renames = fuse.received(FUSE_RENAME);
        fuse.killOnRename();
        EXPECT_EQ(PathGate::rename(mount + "/a.txt", mount + "/b.txt"), PathGate::unknownOutcome);
        EXPECT_EQ(PathGate::message(PathGate::unknownOutcome), "Could not tell whether it happened");
        EXPECT_EQ(fuse.received(FUSE_RENAME), renames + 1) << "a call that changes something is sent once";
        EXPECT_EQ(PathGate::stat(mount + "/b.txt").error, 0);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

} // namespace
} // namespace tallymere
