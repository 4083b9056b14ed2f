#include "base/InodeTag.h"
#include "platform/FreedesktopTrash.h"
#include "services/TrashService.h"
#include "services/TrashTestSupport.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string_view>

namespace tallymere {
namespace {

namespace fs = std::filesystem;
using namespace test;

// The moment a swap must land, made exact: this program defines the C library's open, openat and
// renameat2 itself (the code under test calls the program's own definition), and each calls the
// hook a test set, with the call's name and path, before it makes the system call.
std::function<void(std::string_view call, const char* path)> beforeCall;

// Open and openat past the hook. `arguments` holds a mode only where the flags make a file, by the
// C library's own rule: O_CREAT, or every bit of O_TMPFILE (whose bits include O_DIRECTORY, which
// alone passes none).
int hookedOpen(std::string_view call, int folder, const char* path, int flags, va_list arguments) {
    const bool makesFile = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    const mode_t mode = makesFile ? va_arg(arguments, mode_t) : 0;
    if (beforeCall) beforeCall(call, path);
    return static_cast<int>(syscall(SYS_openat, folder, path, flags, mode));
}

} // namespace
} // namespace tallymere

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int fd = tallymere::hookedOpen("open", AT_FDCWD, path, flags, arguments);
    va_end(arguments);
    return fd;
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int fd = tallymere::hookedOpen("openat", folder, path, flags, arguments);
    va_end(arguments);
    return fd;
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) noexcept {
    if (tallymere::beforeCall) tallymere::beforeCall("renameat2", from);
    return static_cast<int>(syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
}

namespace tallymere {
namespace {

// Exchanges two names in one folder, as another program would, past the hooks.
void exchange(const std::filesystem::path& a, const std::filesystem::path& b) {
    ASSERT_EQ(syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE), 0);
}

TEST_F(TrashTest, MovesItemsInOrderAndCountsTheirSizes) {
    const fs::path a = makeFile("a.txt");
    const fs::path folder = m_scratch / "src" / "folder";
    makeFile("folder/inner/deep.bin");
    const fs::path unsized = makeFile("unsized");
    const auto outcome = TrashService::trash({a, folder, unsized}, {{a, 100}, {folder, 2000}});
    EXPECT_EQ(outcome.trashed, (std::vector<std::string>{a, folder, unsized}));
    EXPECT_TRUE(outcome.failed.empty());
    EXPECT_EQ(outcome.freed, 2100);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(trash() / "files" / "a.txt"));
    EXPECT_TRUE(fs::exists(trash() / "files" / "folder" / "inner" / "deep.bin"));
    EXPECT_TRUE(fs::exists(trash() / "info" / "folder.trashinfo"));
}

TEST_F(TrashTest, InfoFileRecordsTheEncodedPathAndLocalDeletionTime) {
    const fs::path odd = makeFile(std::string("a b%\n\xFF.txt"));
    // A doubled slash is recorded once.
    const auto outcome = TrashService::trash({(m_scratch / "src").string() + "//" + odd.filename().string()}, {});
    ASSERT_EQ(outcome.trashed.size(), 1u);
    const std::string info = readText(trash() / "info" / (odd.filename().string() + ".trashinfo"));
    const std::string encodedFolder = FreedesktopTrash::encodePath((m_scratch / "src").string());
    const std::regex shape("\\[Trash Info\\]\nPath=" + encodedFolder +
                           "/a%20b%25%0A%FF\\.txt\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    EXPECT_TRUE(std::regex_match(info, shape)) << info;
}

TEST_F(TrashTest, SameNameFromTwoFoldersKeepsBothWithMatchingInfo) {
    const fs::path first = makeFile("one/report.pdf", "first");
    const fs::path second = makeFile("two/report.pdf", "second");
    // A leftover in files/ without an info file is not overwritten either.
    fs::create_directories(trash() / "files");
    writeText(trash() / "files" / "report.3.pdf", "stale");
    const fs::path third = makeFile("three/report.pdf", "third");

    const auto outcome = TrashService::trash({first, second, third}, {});
    ASSERT_EQ(outcome.trashed.size(), 3u);
    auto pathLine = [&](const std::string& name) {
        const std::string info = readText(trash() / "info" / (name + ".trashinfo"));
        const std::size_t start = info.find("Path=") + 5;
        return info.substr(start, info.find('\n', start) - start);
    };
    EXPECT_EQ(readText(trash() / "files" / "report.pdf"), "first");
    EXPECT_EQ(pathLine("report.pdf"), FreedesktopTrash::encodePath(first));
    EXPECT_EQ(readText(trash() / "files" / "report.2.pdf"), "second");
    EXPECT_EQ(pathLine("report.2.pdf"), FreedesktopTrash::encodePath(second));
    EXPECT_EQ(readText(trash() / "files" / "report.3.pdf"), "stale");
    EXPECT_FALSE(fs::exists(trash() / "info" / "report.3.pdf.trashinfo"));
    EXPECT_EQ(readText(trash() / "files" / "report.4.pdf"), "third");
    EXPECT_EQ(pathLine("report.4.pdf"), FreedesktopTrash::encodePath(third));

    // An extension too long to keep beside the number: the number goes at the end of a shortened
    // name, and both names with their info files still fit a directory entry.
    const std::string longName = "a." + std::string(243, 'e');
    const fs::path longFirst = makeFile("one/" + longName, "long one");
    const fs::path longSecond = makeFile("two/" + longName, "long two");
    ASSERT_EQ(TrashService::trash({longFirst, longSecond}, {}).trashed.size(), 2u);
    const std::string numbered = longName.substr(0, 243) + ".2";
    EXPECT_EQ(readText(trash() / "files" / longName), "long one");
    EXPECT_EQ(readText(trash() / "files" / numbered), "long two");
    EXPECT_EQ(pathLine(numbered), FreedesktopTrash::encodePath(longSecond));
}

TEST_F(TrashTest, MissingAndRepeatedPathsFailWithTheSystemMessage) {
    const fs::path a = makeFile("a");
    const std::string missing = (m_scratch / "src" / "gone").string();
    const auto outcome = TrashService::trash({a, missing, a}, {{a, 7}, {missing, 1000}});
    EXPECT_EQ(outcome.trashed, std::vector<std::string>{a});
    ASSERT_EQ(outcome.failed.size(), 2u);
    EXPECT_EQ(outcome.failed[0], (std::pair<std::string, std::string>{missing, "No such file or directory"}));
    EXPECT_EQ(outcome.failed[1].first, a.string());
    EXPECT_EQ(outcome.freed, 7);
    // A failed attempt leaves no info file behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(trash() / "info"), fs::directory_iterator()), 1);
}

TEST_F(TrashTest, RefusesRelativePathsAndTheRootFolder) {
    const fs::path kept = makeFile("kept");
    ASSERT_EQ(chdir((m_scratch / "src").c_str()), 0);
    const auto outcome = TrashService::trash({"kept", "", "/", "//", (m_scratch / "src" / "..").string()}, {});
    EXPECT_TRUE(outcome.trashed.empty());
    ASSERT_EQ(outcome.failed.size(), 5u);
    for (const auto& [path, message] : outcome.failed) EXPECT_FALSE(message.empty()) << path;
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(trash()));
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(TrashTest, TrashFolderThatCannotBeCreatedFailsPerPath) {
    const fs::path a = makeFile("a");
    const fs::path b = makeFile("b");
    fs::create_directories(trash().parent_path());
    writeText(trash(), "not a folder");
    const auto outcome = TrashService::trash({a, b}, {{a, 1}, {b, 1}});
    EXPECT_TRUE(outcome.trashed.empty());
    ASSERT_EQ(outcome.failed.size(), 2u);
    EXPECT_NE(outcome.failed[0].second.find("Not a directory"), std::string::npos) << outcome.failed[0].second;
    EXPECT_EQ(outcome.freed, 0);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(b));
}

TEST_F(TrashTest, RefusesTheTrashWhatItHoldsAndWhatHoldsIt) {
    const fs::path first = makeFile("first.txt");
    ASSERT_EQ(TrashService::trash({first}, {}).trashed.size(), 1u);
    const char* previousHome = std::getenv("HOME");
    const std::string savedHome = previousHome ? previousHome : "";
    setenv("HOME", m_scratch.c_str(), 1);
    const auto outcome = TrashService::trash(
        {trash(), trash() / "info", trash() / "files" / "first.txt", m_scratch / "data", m_scratch}, {});
    setenv("HOME", savedHome.c_str(), 1);

    EXPECT_TRUE(outcome.trashed.empty());
    ASSERT_EQ(outcome.failed.size(), 5u);
    EXPECT_EQ(outcome.failed[0].second, trash().string() + " is the Trash");
    EXPECT_EQ(outcome.failed[1].second, (trash() / "info").string() + " is in the Trash");
    EXPECT_EQ(outcome.failed[2].second, (trash() / "files" / "first.txt").string() + " is in the Trash");
    EXPECT_EQ(outcome.failed[3].second, (m_scratch / "data").string() + " holds the Trash");
    EXPECT_EQ(outcome.failed[4].second, "The home folder cannot be moved to the Trash");
    // The record of the first item is where it was.
    EXPECT_TRUE(fs::exists(trash() / "info" / "first.txt.trashinfo"));
}

TEST_F(TrashTest, ALinkSwappedIntoTheFolderChainIsNeverFollowed) {
    // Staged as src/photos/2023/keep.jpg; then photos is replaced by a link to a folder holding a
    // same-named file, which must stay where it is.
    const fs::path staged = makeFile("photos/2023/keep.jpg", "staged");
    const fs::path other = makeFile("other/2023/keep.jpg", "the only copy");
    fs::rename(m_scratch / "src" / "photos", m_scratch / "src" / "photos.old");
    fs::create_directory_symlink(m_scratch / "src" / "other", m_scratch / "src" / "photos");

    const auto outcome = TrashService::trash({staged, m_scratch / "src" / "photos"}, {{staged, 5}});
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(outcome.failed[0], (std::pair<std::string, std::string>{staged, "keep.jpg changed since the scan"}));
    EXPECT_EQ(readText(other), "the only copy");
    EXPECT_EQ(readText(m_scratch / "src" / "photos.old" / "2023" / "keep.jpg"), "staged");
    // The link itself is an item like any other: it moves, and its target stays.
    EXPECT_EQ(outcome.trashed, std::vector<std::string>{(m_scratch / "src" / "photos").string()});
    EXPECT_TRUE(fs::is_symlink(trash() / "files" / "photos"));
    EXPECT_EQ(outcome.freed, 0);
    EXPECT_FALSE(fs::exists(trash() / "info" / "keep.jpg.trashinfo"));

    // A link higher up, and one followed by "..", fail the same way.
    const fs::path deep = makeFile("real/inner/b", "deep");
    makeFile("real/b", "not this one");
    fs::create_directory_symlink(m_scratch / "src" / "real", m_scratch / "src" / "up");
    const auto through = TrashService::trash({(m_scratch / "src" / "up" / "inner" / "b").string(),
                                              (m_scratch / "src" / "up" / "inner").string() + "/../b"},
                                             {});
    EXPECT_TRUE(through.trashed.empty());
    ASSERT_EQ(through.failed.size(), 2u);
    EXPECT_EQ(through.failed[0].second, "b changed since the scan");
    EXPECT_EQ(through.failed[1].second, "b changed since the scan");
    EXPECT_EQ(readText(deep), "deep");
    EXPECT_EQ(readText(m_scratch / "src" / "real" / "b"), "not this one");

    // Without links, "a/.." is read as text and recorded as the physical path.
    ASSERT_EQ(TrashService::trash({(m_scratch / "src" / "real" / "inner").string() + "/../b"}, {}).trashed.size(), 1u);
    const std::string info = readText(trash() / "info" / "b.trashinfo");
    EXPECT_NE(info.find("\nPath=" + FreedesktopTrash::encodePath((m_scratch / "src" / "real" / "b").string()) + "\n"),
              std::string::npos)
        << info;
}

// Another file takes the chosen item's name at each moment a move can meet it: while the Trash's
// record is written, and between the last look at the item and the rename, once or twice. The
// Trash keeps only the chosen item, or, when a third file took the name back meanwhile, the
// stranger with its record, where the desktop can restore it; no content is lost.
TEST_F(TrashTest, AnItemSwappedInWhileTheTrashIsPreparedNeverStaysThere) {
    const fs::path folder = m_scratch / "src";
    const fs::path item = folder / "item", decoy = folder / "decoy";
    // The decoy must be told apart by what a node keeps of its inode number (one byte of it): files
    // made within one second share their birth time.
    const auto prepare = [&](const std::string& round) {
        makeFile("item", "chosen " + round);
        struct statx info {};
        EXPECT_EQ(statx(AT_FDCWD, item.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &info), 0);
        for (int attempt = 0; attempt < 64; ++attempt) {
            struct stat other {};
            EXPECT_EQ(::stat(makeFile("decoy", "other " + round).c_str(), &other), 0);
            if (inodeTag(other.st_ino) != inodeTag(info.stx_ino)) break;
            fs::rename(decoy, m_scratch / ("held-" + round + std::to_string(attempt)));
        }
        return FreedesktopTrash::Identity{.kind = FreedesktopTrash::Identity::Kind::file,
                                          .inodeTag = inodeTag(info.stx_ino),
                                          .created = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : 0};
    };
    using Contents = std::map<std::string, std::string>;
    const auto contents = [&](const fs::path& where) {
        Contents found;
        if (fs::exists(where))
            for (const auto& entry : fs::directory_iterator(where))
                found[entry.path().filename().string()] = readText(entry.path());
        return found;
    };
    const auto recorded = [&] {
        std::set<std::string> names;
        for (const auto& [name, text] : contents(trash() / "info")) names.insert(name);
        return names;
    };

    // What another program does as the move makes `call`, the `renames`th rename of the move so far.
    using Swap = std::function<void(std::string_view call, std::string_view path, int renames)>;
    struct Round {
        std::string when;
        Swap swap;
        std::string error;
        int renames;
        Contents left, trashed;
        std::set<std::string> records;
    };
    const std::string changed = "item changed since the scan";
    const std::vector<Round> rounds{
        {"while the record is written: the last look finds the stranger, and nothing moves",
         [&](std::string_view call, std::string_view path, int) {
             if (call == "openat" && path.ends_with(".trashinfo")) exchange(item, decoy);
         },
         changed, 0, {{"item", "other 1"}, {"decoy", "chosen 1"}}, {}, {}},
        {"between the last look and the rename: the stranger is moved, seen in the Trash and put back",
         [&](std::string_view call, std::string_view, int renames) {
             if (call == "renameat2" && renames == 1) exchange(item, decoy);
         },
         changed, 2, {{"item", "other 2"}, {"decoy", "chosen 2"}}, {}, {}},
        {"as before, and a third file takes the name before the stranger can be put back: the stranger "
         "stays in the Trash with its record, and the third file and the chosen item where they are",
         [&](std::string_view call, std::string_view, int renames) {
             if (call == "renameat2" && renames == 1) exchange(item, decoy);
             if (call == "renameat2" && renames == 2) writeText(item, "third");
         },
         changed + "; the item that had its name is in the Trash", 2, {{"item", "third"}, {"decoy", "chosen 3"}},
         {{"item", "other 3"}}, {"item.trashinfo"}},
        {"left alone, the chosen item moves", nullptr, "", 1, {{"decoy", "other 4"}}, {{"item", "chosen 4"}},
         {"item.trashinfo"}},
    };
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        const Round& round = rounds[i];
        const auto chosen = prepare(std::to_string(i + 1));
        int renames = 0;
        beforeCall = [&](std::string_view call, const char* path) {
            renames += call == "renameat2";
            if (round.swap) round.swap(call, path, renames);
        };
        const auto result = FreedesktopTrash::moveToTrash(item, chosen);
        beforeCall = nullptr;
        EXPECT_EQ(result.moved, round.error.empty()) << round.when;
        EXPECT_EQ(result.error, round.error) << round.when;
        EXPECT_EQ(renames, round.renames) << round.when;
        EXPECT_EQ(contents(folder), round.left) << round.when;
        EXPECT_EQ(contents(trash() / "files"), round.trashed) << round.when;
        EXPECT_EQ(recorded(), round.records) << round.when;
        fs::remove_all(trash());
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    }
}

TEST_F(TrashTest, AnotherUsersHomeTrashIsNeitherMadeNorFilled) {
    if (getuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    // Root started with a user's HOME: that user's data folder, then that user's own Trash.
    const fs::path data = m_scratch / "data";
    fs::create_directories(data);
    ASSERT_EQ(::chown(data.c_str(), 4242, 4242), 0);
    const fs::path item = makeFile("report.txt");
    const auto unmade = FreedesktopTrash::moveToTrash(item);
    EXPECT_FALSE(unmade.moved);
    EXPECT_EQ(unmade.error, "The Trash folder " + trash().string() + " cannot be used: " + data.string() +
                                " belongs to another user");
    EXPECT_FALSE(fs::exists(fs::symlink_status(trash())));

    fs::create_directories(trash());
    ASSERT_EQ(::chown(trash().c_str(), 4242, 4242), 0);
    const auto unfilled = FreedesktopTrash::moveToTrash(item);
    EXPECT_FALSE(unfilled.moved);
    EXPECT_EQ(unfilled.error, "The Trash folder " + trash().string() + " cannot be used: " + trash().string() +
                                  " belongs to another user");
    EXPECT_TRUE(fs::is_empty(trash()));

    // The user's link from the data folder into one of root's: not followed.
    const fs::path system = m_scratch / "system";
    fs::create_directories(system);
    fs::remove_all(data);
    fs::create_directory_symlink(system, data);
    ASSERT_EQ(::lchown(data.c_str(), 4242, 4242), 0);
    const auto through = FreedesktopTrash::moveToTrash(item);
    EXPECT_EQ(through.error, "The Trash folder " + trash().string() + " cannot be used: " + data.string() +
                                 " is a link of another user");
    EXPECT_TRUE(fs::is_empty(system));
    EXPECT_EQ(readText(item), "x");
}

// Another file system mounted over the item's top folder after the item's place was looked at
// and before its Trash is found: nothing is made or written on the
// newcomer, and the item stays. Without it, the item goes to its own mount's Trash.
TEST_F(TrashTest, AMountSwappedInAtTheTopFolderNeverReceivesTheTrash) {
    const fs::path top = m_scratch / "src" / "top";
    const fs::path other = m_scratch / "other";
    fs::create_directories(top);
    fs::create_directories(other);
    const bool ran = test::runInPrivateMounts([&] {
        if (mount("tm-top", top.c_str(), "tmpfs", 0, "size=4m") != 0 ||
            mount("tm-other", other.c_str(), "tmpfs", 0, "size=4m") != 0)
            test::cannotRunHere(cannotMount("a tmpfs"));
        fs::create_directories(top / "sub");
        const fs::path item = top / "sub" / "item";
        std::ofstream(item, std::ios::binary) << "data";
        bool swapped = false;
        int topOpened = 0;
        // The item's folder is reached through "top" once; the second time is the walk to its Trash.
        beforeCall = [&](std::string_view call, const char* path) {
            if (call == "openat" && std::string_view(path) == "top" && ++topOpened == 2 && !swapped)
                swapped = mount(other.c_str(), top.c_str(), nullptr, MS_BIND, nullptr) == 0;
        };
        const PlaceRegistry places = Places::lookAt(Places::Sources::current());
        const auto refused = FreedesktopTrash::moveToTrash(item.string(), places, nullptr);
        beforeCall = nullptr;
        EXPECT_TRUE(fs::is_empty(other)) << "the newcomer received something";
        ASSERT_TRUE(swapped) << "the Trash was not looked for after the item";
        ASSERT_EQ(umount2(top.c_str(), MNT_DETACH), 0);
        EXPECT_FALSE(refused.moved);
        EXPECT_NE(refused.error.find("is not on the file system that holds item"), std::string::npos) << refused.error;
        EXPECT_TRUE(fs::exists(item));
        EXPECT_TRUE(FreedesktopTrash::moveToTrash(item.string()).moved);
        EXPECT_TRUE(fs::exists(top / (".Trash-" + std::to_string(getuid())) / "files" / "item"));
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

class RecordingDesktop : public DesktopActions {
public:
    std::optional<std::string> reveal(const std::vector<std::string>& paths) override {
        revealed.push_back(paths);
        return std::nullopt;
    }
    std::optional<std::string> open(const std::string& path) override {
        opened.push_back(path);
        return std::nullopt;
    }
    std::vector<std::vector<std::string>> revealed;
    std::vector<std::string> opened;
};

TEST(RevealInFinder, PassesThePathsInOrderAndIgnoresAnEmptyList) {
    RecordingDesktop desktop;
    TrashService::revealInFinder(desktop, {});
    EXPECT_TRUE(desktop.revealed.empty());
    TrashService::revealInFinder(desktop, {"/b", "/a"});
    EXPECT_EQ(desktop.revealed, (std::vector<std::vector<std::string>>{{"/b", "/a"}}));
}

} // namespace
} // namespace tallymere
