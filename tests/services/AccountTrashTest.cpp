#include "platform/TrashPlaces.h"
#include "core/DiskScanner.h"
#include "services/DuplicateFinder.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tallymere {
namespace {

namespace fs = std::filesystem;

void write(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

// A root that scans every home meets the other users' home Trash folders: their items were thrown
// away, so a copy there is none to keep while the live one goes, and none is staged again.
TEST(AccountTrash, AnotherUsersHomeTrashIsATrash) {
    test::TempFolder temp;
    const std::string dir = fs::canonical(temp.path()).string();
    // The accounts' homes are written through a link to the folder holding them, as a scan never sees them.
    fs::create_directories(dir + "/home/bob");
    fs::create_directory_symlink(dir + "/home", dir + "/users");
    const std::vector<std::string> trashes =
        TrashPlaces::accountTrashesOf({dir + "/users/bob/", "relative/home", "/", dir + "/home/bob"}, {});
    ASSERT_EQ(trashes, std::vector<std::string>{dir + "/home/bob/.local/share/Trash"});
    // Homes on a network or FUSE mount are taken as written: resolving them could wait for ever on a
    // server that stopped, and the places are read on the window's thread.
    for (const char* type : {"nfs4", "fuse.sshfs", "fuse.mergerfs"}) {
        const std::vector<MountEntry> mounts{{.mountPoint = "/", .fsType = "ext4"}, {.mountPoint = dir + "/users", .fsType = type}};
        EXPECT_EQ(TrashPlaces::accountTrashesOf({dir + "/users/bob"}, mounts),
                  std::vector<std::string>{dir + "/users/bob/.local/share/Trash"})
            << type;
    }
    const TrashPlaces::Places places{.homeTrash = dir + "/data/Trash", .home = {}, .tops = {"/"}, .accountTrashes = trashes};

    const std::string trash = trashes.front();
    EXPECT_EQ(TrashPlaces::whyRefused(places, trash + "/files/r.pdf", "r.pdf"), "r.pdf is in the Trash");
    EXPECT_EQ(TrashPlaces::whyRefused(places, trash, "Trash"), "Trash is the Trash");
    EXPECT_EQ(TrashPlaces::whyRefused(places, dir + "/home/bob/.local/share/Trashy", "Trashy"), "");

    // Bob's thrown-away copy has the shorter path, which the search would keep, offering his live
    // report as the extra.
    const std::string report(300000, 'r');
    write(trash + "/files/r.pdf", report);
    write(dir + "/home/bob/Documents/Quarterly/report-final.pdf", report);
    ScanOptions options;
    options.includeHidden = true;
    ScanProgress scanned;
    const auto root = DiskScanner::scan(dir, options, scanned);
    ASSERT_TRUE(root);
    DuplicateFinder::Progress progress;
    EXPECT_TRUE(DuplicateFinder::find(root, 1, progress, places).empty());
}

} // namespace
} // namespace tallymere
