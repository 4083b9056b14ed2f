// A Trash is known by its identity, however the path to it is spelled: an account's home reached
// through a link, a home whose .local/share is a link, and a bind-mounted view of a home each show
// their Trash under another path. A copy in the Trash is no duplicate, and the Trash's items are
// neither staged nor moved.
#include "core/DiskScanner.h"
#include "core/FilterEngine.h"
#include "core/NodeFilter.h"
#include "core/PlaceMarks.h"
#include "platform/FreedesktopTrash.h"
#include "platform/Places.h"
#include "services/DuplicateFinder.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace tallymere {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

// The node at `relative` below `root`; null when there is none.
const FileNode* nodeAt(const FileNode& root, const fs::path& relative) {
    const FileNode* node = &root;
    for (const fs::path& part : relative) {
        const auto children = node->children();
        const auto found = std::find_if(children.begin(), children.end(), [&](const FileNode* c) { return c->name() == part.string(); });
        if (found == children.end()) return nullptr;
        node = *found;
    }
    return node;
}

struct Spelling {
    const char* name;
    bool bindMount;
    // Lays the account's home out under `dir`, bob's as the password database names it being
    // dir/home/bob; gives the Trash's path and the live copy's relative to the scan root.
    std::function<void(const fs::path& dir)> lay;
    const char* scanRoot;
    const char* trashItem;
    const char* liveItem;
};

const std::string report(300000, 'r');

const Spelling spellings[] = {
    {"a home that is a link", false,
     [](const fs::path& dir) {
         write(dir / "data/bob/.local/share/Trash/files/report.pdf", report);
         write(dir / "data/bob/Documents/Quarterly/report-final.pdf", report);
         fs::create_directories(dir / "home");
         fs::create_directory_symlink(dir / "data/bob", dir / "home/bob");
     },
     "", "data/bob/.local/share/Trash/files/report.pdf", "data/bob/Documents/Quarterly/report-final.pdf"},
    {"a .local/share that is a link", false,
     [](const fs::path& dir) {
         write(dir / "dots/share/Trash/files/report.pdf", report);
         write(dir / "home/bob/Documents/report-final.pdf", report);
         fs::create_directories(dir / "home/bob/.local");
         fs::create_directory_symlink(dir / "dots/share", dir / "home/bob/.local/share");
     },
     "", "dots/share/Trash/files/report.pdf", "home/bob/Documents/report-final.pdf"},
    {"a bind-mounted view of a home", true,
     [](const fs::path& dir) {
         write(dir / "home/bob/.local/share/Trash/files/report.pdf", report);
         write(dir / "home/bob/Documents/report-final.pdf", report);
         fs::create_directories(dir / "view");
         if (::mount((dir / "home/bob").c_str(), (dir / "view").c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
     },
     "view", ".local/share/Trash/files/report.pdf", "Documents/report-final.pdf"},
};

TEST(PlacesByIdentity, ATrashSpelledAnotherWayIsStillATrash) {
    for (const Spelling& spelling : spellings) {
        SCOPED_TRACE(spelling.name);
        test::TempFolder temp;
        const fs::path dir = fs::canonical(temp.path());
        const auto body = [&] {
            spelling.lay(dir);
            const PlaceRegistry places = Places::lookAt(
                {.dataHome = dir / "data-home", .accountHomes = {dir / "home/bob"}, .mounts = *MountTable::current()});
            ScanOptions options;
            options.includeHidden = true;
            options.places = places;
            ScanProgress scanned;
            const std::shared_ptr<FileNode> root = DiskScanner::scan((dir / spelling.scanRoot).string(), options, scanned);
            ASSERT_TRUE(root);
            const auto filtered = FilterEngine::prune(*root, NodeFilter{.query = "report"}, false, true);
            for (const auto& tree : {root, filtered}) {
                DuplicateFinder::Progress progress;
                EXPECT_TRUE(DuplicateFinder::find(tree, 1, progress).empty()) << "the copy in the Trash was kept";
            }
            const FileNode* trashed = nodeAt(*root, spelling.trashItem);
            const FileNode* live = nodeAt(*root, spelling.liveItem);
            ASSERT_TRUE(trashed && live);
            const std::string trashedPath = trashed->path();
            EXPECT_EQ(PlaceMarks::whyRefused(*trashed, places), trashedPath + " is in the Trash");
            EXPECT_EQ(PlaceMarks::whyRefused(*trashed->parent->parent, places), trashed->parent->parent->path() + " is the Trash");
            EXPECT_FALSE(PlaceMarks::isRefused(*live));
            // The move looks again, by the identities it walks past.
            ::setenv("XDG_DATA_HOME", (dir / "data-home").c_str(), 1);
            const FreedesktopTrash::Result moved = FreedesktopTrash::moveToTrash(trashedPath, places, nullptr);
            EXPECT_EQ(moved.error, trashedPath + " is in the Trash");
            EXPECT_TRUE(fs::exists(trashedPath));
        };
        const char* saved = std::getenv("XDG_DATA_HOME");
        const std::string previous = saved ? saved : "";
        if (!spelling.bindMount) body();
        else if (!test::runInPrivateMounts(body)) GTEST_SKIP() << "bind mounts need root and a mount namespace of its own";
        if (saved) ::setenv("XDG_DATA_HOME", previous.c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }
}

// Another account's Trash made a link to this user's files is no Trash: they are neither taken for
// thrown away nor kept from the duplicate search.
TEST(PlacesByIdentity, AnotherAccountsTrashThatIsALinkIsNoTrash) {
    test::TempFolder temp;
    const fs::path dir = fs::canonical(temp.path());
    write(dir / "home/me/Documents/report.pdf", report);
    write(dir / "home/me/Documents/copy/report.pdf", report);
    fs::create_directories(dir / "home/eve/.local/share");
    fs::create_directory_symlink(dir / "home/me/Documents", dir / "home/eve/.local/share/Trash");
    const PlaceRegistry places = Places::lookAt({.home = dir / "home/me",
                                                 .dataHome = dir / "home/me/.local/share",
                                                 .accountHomes = {dir / "home/eve"},
                                                 .mounts = *MountTable::current()});
    ScanOptions options;
    options.places = places;
    ScanProgress scanned;
    const std::shared_ptr<FileNode> root = DiskScanner::scan((dir / "home/me").string(), options, scanned);
    ASSERT_TRUE(root);
    const FileNode* report = nodeAt(*root, "Documents/report.pdf");
    ASSERT_TRUE(report);
    EXPECT_FALSE(PlaceMarks::isRefused(*report));
    EXPECT_FALSE(Places::isInTrash(places, report->path()));
    DuplicateFinder::Progress progress;
    EXPECT_EQ(DuplicateFinder::find(root, 1, progress).size(), 1u);
}

} // namespace
} // namespace tallymere
