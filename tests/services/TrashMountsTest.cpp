// Moves to the Trash where mounts are in play: a mount that never answers, a bind mount, a volume
// mounted below a folder, and another device's own Trash. Each runs in a child with a mount
// namespace of its own, so nothing leaks into the machine's mounts.
#include "core/DiskScanner.h"
#include "platform/FreedesktopTrash.h"
#include "services/TrashService.h"
#include "services/TrashTestSupport.h"
#include "support/DeadFuse.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace tallymere {
namespace {

namespace fs = std::filesystem;
using namespace test;

// A mount point the scan met but that never answered fails at once, with why: looking at it to move
// it would hold the window for as long as the mount stays stuck.
TEST_F(TrashTest, AnItemOnAMountThatNeverAnsweredTheScanFailsAtOnce) {
    const fs::path dead = m_scratch / "src" / "dead";
    fs::create_directories(dead);
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::DeadFuse>(dead);
        if (!fuse->isMounted()) test::cannotRunHere(fuse->whyNotMounted());
        ScanProgress progress;
        ASSERT_TRUE(DiskScanner::scan((m_scratch / "src").string(), {}, progress));
        ASSERT_EQ(progress.unreadWithoutAnswer(), 1);
        auto moving = std::async(std::launch::async, [&] { return TrashService::trash({dead, dead / "inner"}, {}); });
        if (moving.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "the move waited on the mount";
            fuse.reset();
        }
        const TrashService::Outcome outcome = moving.get();
        EXPECT_TRUE(outcome.trashed.empty());
        const std::vector<std::pair<std::string, std::string>> failed{
            {dead, "Its file system does not answer"}, {dead / "inner", "Its file system does not answer"}};
        EXPECT_EQ(outcome.failed, failed);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A server can stop after the scan, with nothing yet waiting on its mount: the move looks at the
// mount with the bounded wait first, rather than holding the window in its first look at the item.
TEST_F(TrashTest, AnItemOnAMountThatStoppedAnsweringAfterTheScanFailsWithinTheBound) {
    const fs::path dead = m_scratch / "src" / "late";
    fs::create_directories(dead);
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::DeadFuse>(dead);
        if (!fuse->isMounted()) test::cannotRunHere(fuse->whyNotMounted());
        auto moving = std::async(std::launch::async, [&] { return TrashService::trash({dead}, {}); });
        if (moving.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "the move waited on the mount";
            fuse.reset();
        }
        const TrashService::Outcome outcome = moving.get();
        EXPECT_TRUE(outcome.trashed.empty());
        const std::vector<std::pair<std::string, std::string>> failed{{dead, "Its file system does not answer"}};
        EXPECT_EQ(outcome.failed, failed);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A server that stops after the scan while the kernel still keeps its root's attributes: a look at
// the mount point is answered, but every call on an item below it waits. The move of such an item
// fails within the bound, and the process that asked can end while the server stays stopped.
TEST_F(TrashTest, AnItemBelowAMountWhoseRootIsStillKnownFailsWithinTheBound) {
    const fs::path mount = m_scratch / "src" / "net";
    fs::create_directories(mount);
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount.string());
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        // Asked once in every way a look asks, so the kernel knows what the server can tell.
        struct statx known {};
        constexpr unsigned everything = STATX_BASIC_STATS | STATX_BTIME;
        ASSERT_EQ(::statx(AT_FDCWD, mount.c_str(), AT_NO_AUTOMOUNT, everything, &known), 0);
        fuse.stall();
        ASSERT_EQ(::statx(AT_FDCWD, mount.c_str(), AT_NO_AUTOMOUNT, everything, &known), 0)
            << "the root's attributes are no longer kept";
        const bool ended = test::endsWithin(30, [&] {
            for (const fs::path& item : {mount / "file.txt", mount / "sub", mount / "sub" / "inner.txt"}) {
                const TrashService::Outcome outcome = TrashService::trash({item}, {});
                EXPECT_TRUE(outcome.trashed.empty()) << item;
                const std::vector<std::pair<std::string, std::string>> failed{{item, "Its file system does not answer"}};
                EXPECT_EQ(outcome.failed, failed);
            }
        });
        EXPECT_TRUE(ended) << "the move waited on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// The data folder, and with it the home Trash, lies on a mount that stopped answering: an item on a
// disk that answers still goes to its own volume's Trash, and nothing waits on the data folder.
TEST_F(TrashTest, AHomeTrashOnAMountThatStoppedAnsweringHoldsNoMoveOfALocalItem) {
    const fs::path data = m_scratch / "data";
    const fs::path volume = m_scratch / "src" / "volume";
    fs::create_directories(data);
    fs::create_directories(volume);
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(data.string());
        if (!fuse.isMounted()) test::cannotRunHere(fuse.whyNotMounted());
        if (mount("tm-volume", volume.c_str(), "tmpfs", 0, "size=4m") != 0) test::cannotRunHere(cannotMount("a tmpfs"));
        writeText(volume / "clip.mov", "data");
        const bool ended = test::endsWithin(30, [&] {
            const TrashService::Outcome outcome = TrashService::trash({volume / "clip.mov"}, {});
            EXPECT_EQ(outcome.trashed, std::vector<std::string>{volume / "clip.mov"});
        });
        EXPECT_TRUE(ended) << "the move waited on the data folder";
        EXPECT_TRUE(fs::exists(volume / (".Trash-" + std::to_string(getuid())) / "files" / "clip.mov"));
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A bind mount of the home Trash's disk is another mount: a rename into the home Trash would fail
// across it, so the item goes to the bind mount's own top-folder Trash. Runs in a child with a
// mount namespace of its own, so nothing leaks into the machine's mounts.
TEST_F(TrashTest, ItemInABindMountUsesThatMountsTrash) {
    const fs::path real = m_scratch / "src" / "real";
    const fs::path bound = m_scratch / "src" / "bound";
    fs::create_directories(real);
    fs::create_directories(bound);
    writeText(real / "clip.mov", "data");
    const bool ran = test::runInPrivateMounts([&] {
        if (mount(real.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0) test::cannotRunHere(cannotMount("a bind mount"));
        const auto result = FreedesktopTrash::moveToTrash((bound / "clip.mov").string());
        ASSERT_TRUE(result.moved) << result.error;
        const std::string info = readText(bound / (".Trash-" + std::to_string(getuid())) / "info" / "clip.mov.trashinfo");
        EXPECT_NE(info.find("\nPath=clip.mov\n"), std::string::npos) << info;
        EXPECT_FALSE(fs::exists(real / "clip.mov"));
        EXPECT_TRUE(fs::exists(real / (".Trash-" + std::to_string(getuid())) / "files" / "clip.mov"));
        EXPECT_FALSE(fs::exists(trash() / "files" / "clip.mov"));
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A rename takes every volume mounted below a folder along into the Trash, where emptying it would
// delete the volume's files: such a folder stays, named with the mount, and so does the volume;
// also against places looked at before the volume came, by the mount table of the move's moment.
TEST_F(TrashTest, AFolderWithAVolumeMountedBelowItStays) {
    const fs::path folder = m_scratch / "src" / "projects";
    const fs::path mounted = folder / "archive" / "disk";
    fs::create_directories(mounted);
    const bool ran = test::runInPrivateMounts([&] {
        const PlaceRegistry before = Places::lookAt(Places::Sources::current());
        if (mount("tm-below", mounted.c_str(), "tmpfs", 0, "size=4m") != 0) test::cannotRunHere(cannotMount("a tmpfs"));
        writeText(mounted / "kept", "data");
        for (const PlaceRegistry& places : {before, Places::lookAt(Places::Sources::current())}) {
            const auto refused = FreedesktopTrash::moveToTrash(folder.string(), places, nullptr);
            EXPECT_FALSE(refused.moved);
            EXPECT_EQ(refused.error, folder.string() + " holds a mounted volume (" + mounted.string() + ")");
        }
        EXPECT_TRUE(fs::exists(mounted / "kept"));
        EXPECT_FALSE(fs::exists(trash() / "files" / "projects"));
        // The volume's own items, and the folder once it holds none, still go.
        EXPECT_TRUE(FreedesktopTrash::moveToTrash((mounted / "kept").string()).moved);
        ASSERT_EQ(umount2(mounted.c_str(), MNT_DETACH), 0);
        EXPECT_TRUE(FreedesktopTrash::moveToTrash(folder.string()).moved);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// Items on another device go to that device's own Trash; they are never copied. The device is a
// file system of the test's own, mounted in a mount namespace of a child process that runs the
// test, so no other test run on the machine meets its Trash folders.
class OtherDeviceTrashTest : public TrashTest {
protected:
    // Runs `body` in a child process with a tmpfs mounted at m_top; skips where mounting is refused.
    void onOtherDevice(const std::function<void()>& body) {
        fs::create_directories(m_top);
        const bool ran = test::runInPrivateMounts([&] {
            if (mount("tm-device", m_top.c_str(), "tmpfs", 0, "size=4m") != 0) test::cannotRunHere(cannotMount("a tmpfs"));
            fs::create_directories(m_area);
            body();
        });
        if (!ran) GTEST_SKIP() << test::whyNotRun();
    }
    fs::path makeOther(const std::string& name) {
        writeText(m_area / name, "data");
        return m_area / name;
    }

    const std::string m_uid = std::to_string(getuid());
    const fs::path m_top = m_scratch / "device"; // the other device's top folder
    const fs::path m_area = m_top / "area";
    const fs::path m_shared = m_top / ".Trash";
    const fs::path m_personal = m_top / (".Trash-" + m_uid);
};

TEST_F(OtherDeviceTrashTest, UsesTheSharedTrashOnlyWhenItIsARealStickyFolder) {
    onOtherDevice([&] {
        fs::create_directory(m_shared);
        chmod(m_shared.c_str(), 0777);
        const fs::path first = makeOther("clip.mov");
        ASSERT_EQ(TrashService::trash({first}, {}).trashed.size(), 1u);
        EXPECT_TRUE(fs::exists(m_personal / "files" / "clip.mov")) << "a shared Trash without the sticky bit is not used";
        // Path= is relative to the top folder of the device.
        const std::string info = readText(m_personal / "info" / "clip.mov.trashinfo");
        EXPECT_NE(info.find("\nPath=area/clip.mov\n"), std::string::npos) << info;
        EXPECT_FALSE(fs::exists(trash() / "files" / "clip.mov"));

        chmod(m_shared.c_str(), 01777);
        const fs::path second = makeOther("b");
        ASSERT_EQ(TrashService::trash({second}, {}).trashed.size(), 1u);
        EXPECT_TRUE(fs::exists(m_shared / m_uid / "files" / "b"));
    });
}

TEST_F(OtherDeviceTrashTest, NoUsableTrashThereMeansFailureAndNothingMoves) {
    onOtherDevice([&] {
        writeText(m_personal, "blocker");
        const fs::path item = makeOther("keep.iso");
        const auto outcome = TrashService::trash({item}, {{item, 9}});
        EXPECT_TRUE(outcome.trashed.empty());
        ASSERT_EQ(outcome.failed.size(), 1u);
        EXPECT_NE(outcome.failed[0].second.find("could not be created"), std::string::npos);
        EXPECT_TRUE(fs::exists(item));
        EXPECT_FALSE(fs::exists(trash() / "files" / "keep.iso"));
    });
}

} // namespace
} // namespace tallymere
