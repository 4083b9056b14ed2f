// The places where a search can mistake one file for two, two files for one, or miss a file: hard
// links, links made after the scan, Trash folders, bind mounts, paths past PATH_MAX, large files
// that part late.
#include "services/DuplicateFinder.h"
#include "services/DuplicateCompare.h"
#include "services/DuplicateTestSupport.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

namespace tallymere {
namespace {

using DuplicateFinder::Group;
using DuplicateFinder::Progress;
using namespace test;

// The places where a search can mistake one file for two, two files for one, or miss a file: each
// test builds its tree in a fresh folder and checks the groups and the bytes they would free.
class DuplicateTraps : public ::testing::Test {
protected:
    std::vector<Group> search(std::int64_t minSize = 1) {
        root = scan(dir.path());
        EXPECT_TRUE(root);
        Progress progress;
        return DuplicateFinder::find(root, minSize, progress);
    }
    std::vector<std::vector<std::string>> paths(const std::vector<Group>& groups) const {
        return relativePaths(groups, dir.path());
    }
    static std::int64_t recoverable(const std::vector<Group>& groups) {
        std::int64_t total = 0;
        for (const Group& group : groups) total += group.waste();
        return total;
    }

    test::TempFolder dir;
    std::shared_ptr<FileNode> root;
};

using Paths = std::vector<std::vector<std::string>>;

TEST_F(DuplicateTraps, HardLinksAreOneFileAndAnExtraWithAnotherNameFreesNothing) {
    test::TempFolder outside; // other names of files in the tree, outside the scanned folder
    dir.folder("x");
    dir.folder("y/z");
    const std::string c = pattern(300000, 31), d = pattern(200000, 32), e = pattern(250000, 33);
    // c: the kept copy has another name outside; the extra has none, so removing it frees its bytes.
    write(dir / "x/c", c);
    ASSERT_EQ(::link((dir / "x/c").c_str(), (outside / "c-elsewhere").c_str()), 0);
    write(dir / "y/c-copy", c);
    // d: the extra has another name outside: removing it here frees nothing.
    write(dir / "d", d);
    write(dir / "y/z/d-copy", d);
    ASSERT_EQ(::link((dir / "y/z/d-copy").c_str(), (outside / "d-elsewhere").c_str()), 0);
    // e: two names of one file inside the tree and no copy: nothing to find.
    write(dir / "e", e);
    ASSERT_EQ(::link((dir / "e").c_str(), (dir / "y/e-again").c_str()), 0);

    const auto groups = search();
    EXPECT_EQ(paths(groups), (Paths{{"x/c", "y/c-copy"}, {"d", "y/z/d-copy"}}));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].waste(), 300000);
    EXPECT_EQ(groups[1].waste(), 0) << "its only extra keeps its blocks through another name";
    EXPECT_EQ(recoverable(groups), 300000);
}

TEST_F(DuplicateTraps, ANameLinkedAfterTheScanIsTheFileItNowNames) {
    // The scan met three files of each size; then the third name of each became a second name of
    // the first, so the tree holds two paths to one file that the scan could not have merged.
    const std::string big = pattern(300000, 81), small = pattern(4000, 82);
    write(dir / "big-file", big);
    write(dir / "big-file-copy", big);
    write(dir / "b", pattern(300000, 83));
    write(dir / "small-file", small);
    write(dir / "small-file-copy", small);
    write(dir / "s", pattern(4000, 84));
    root = scan(dir.path());
    ASSERT_TRUE(root);
    for (const auto& [name, first] : {std::pair{"b", "big-file"}, std::pair{"s", "small-file"}}) {
        ASSERT_EQ(::unlink((dir / name).c_str()), 0);
        ASSERT_EQ(::link((dir / first).c_str(), (dir / name).c_str()), 0);
    }
    Progress progress;
    const auto groups = DuplicateFinder::find(root, 1, progress);
    // Large files are sampled and compared apart, small ones read whole at once: in both, the file
    // counts once, under the shorter of its two names, and its copy is the only extra.
    EXPECT_EQ(paths(groups), (Paths{{"b", "big-file-copy"}, {"s", "small-file-copy"}}));
    EXPECT_EQ(recoverable(groups), 304000);
}

TEST_F(DuplicateTraps, NothingInATrashIsACandidate) {
    const std::string report = pattern(300000, 91), photo = pattern(250000, 92), notes = pattern(5000, 93);
    const auto put = [&](const std::string& relative, const std::string& data) {
        std::filesystem::create_directories(std::filesystem::path(dir / relative).parent_path());
        write(dir / relative, data);
    };
    // The live report and an older copy of it thrown away: the shorter path, kept, would be the
    // Trash's, and the live one offered as the extra.
    put("Documents/Work/Reports/2026/Q4/summary-q4.pdf", report);
    put("data/Trash/files/s.pdf", report);
    // The top of a volume: the shared Trash and a user's own hold copies of a live photo, and two
    // copies of notes that are both thrown away. A folder named like a Trash below the top is none.
    put("volume/.Trash/1000/files/photo.jpg", photo);
    put("volume/.Trash-1000/files/photo.jpg", photo);
    put("volume/photo.jpg", photo);
    put("volume/pics/.Trash-1000/photo-again.jpg", photo);
    put("volume/.Trash-1000/files/notes-1", notes);
    put("volume/.Trash-1000/files/notes-2", notes);
    // The volume's top folder is known to the places by its identity, as a mount point.
    const PlaceRegistry trash = Places::lookAt({.dataHome = dir / "data", .mounts = {{.mountPoint = dir / "volume"}}});

    root = scan(dir.path(), trash);
    Progress progress;
    EXPECT_EQ(paths(DuplicateFinder::find(root, 1, progress)),
              (Paths{{"volume/photo.jpg", "volume/pics/.Trash-1000/photo-again.jpg"}}));
    // A search of a Trash, or of a folder in one, finds nothing there.
    for (const char* inside : {"volume/.Trash-1000", "volume/.Trash-1000/files", "data/Trash"}) {
        Progress again;
        EXPECT_TRUE(DuplicateFinder::find(scan(dir / inside, trash), 1, again).empty()) << inside;
    }
}

TEST_F(DuplicateTraps, AFileSeenAgainThroughABindMountIsNotItsOwnDuplicate) {
    // Large files are sampled and compared apart; small ones are read whole at once.
    const std::string f = pattern(300000, 41), g = pattern(220000, 42), h = pattern(5000, 43);
    write(dir / "only", f);
    write(dir / "stand-in", ""); // `only` is mounted over it
    write(dir / "small", h);
    write(dir / "small-stand-in", "");
    dir.folder("folder");
    dir.folder("mirror");
    write(dir / "folder/g", g); // seen again as mirror/g
    write(dir / "folder/f-copy", f);
    const bool ran = test::runInPrivateMounts([&] {
        ASSERT_EQ(::mount((dir / "only").c_str(), (dir / "stand-in").c_str(), nullptr, MS_BIND, nullptr), 0);
        ASSERT_EQ(::mount((dir / "folder").c_str(), (dir / "mirror").c_str(), nullptr, MS_BIND, nullptr), 0);
        ASSERT_EQ(::mount((dir / "small").c_str(), (dir / "small-stand-in").c_str(), nullptr, MS_BIND, nullptr), 0);
        const auto groups = search();
        // `only` and `stand-in` are one file, shown once under the name the scan met first; its
        // one true copy is folder/f-copy (or the same file through the mirror, whatever the scan
        // made of it); g and small have no copy at all.
        ASSERT_EQ(groups.size(), 1u) << "g and small must not be their own duplicates";
        ASSERT_EQ(groups[0].files.size(), 2u) << "one file through two paths counted twice";
        const std::string shown = groups[0].files[0]->path();
        EXPECT_TRUE(shown == dir / "only" || shown == dir / "stand-in") << shown;
        EXPECT_EQ(groups[0].files[1]->name(), "f-copy");
        EXPECT_EQ(recoverable(groups), 300000);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST_F(DuplicateTraps, FilesBelowPathsLongerThanPathMaxAreFound) {
    // Two copies at the bottom of a chain of folders whose path passes PATH_MAX, one at the top.
    const std::string name(200, 'n');
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::size_t depth = dir.path().size();
    for (int level = 0; depth < PATH_MAX + 500; ++level) {
        const std::string folder = name + std::to_string(level);
        ASSERT_EQ(::mkdirat(fd, folder.c_str(), 0755), 0);
        const int next = ::openat(fd, folder.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        depth += folder.size() + 1;
    }
    const std::string data = pattern(150000, 51);
    for (const char* file : {"deep-1", "deep-2"}) {
        const int out = ::openat(fd, file, O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(out, 0);
        ASSERT_EQ(::write(out, data.data(), data.size()), static_cast<ssize_t>(data.size()));
        ::close(out);
    }
    ::close(fd);
    write(dir / "top", data);

    const auto groups = search();
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].files.size(), 3u);
    EXPECT_EQ(groups[0].files[0]->path(), dir / "top");
    EXPECT_GT(groups[0].files[1]->path().size(), static_cast<std::size_t>(PATH_MAX));
    EXPECT_EQ(groups[0].files[1]->name(), "deep-1");
    EXPECT_EQ(groups[0].files[2]->name(), "deep-2");
    EXPECT_EQ(recoverable(groups), 300000);
    // Looked at again through the gate, as a move does, each copy is still as compared.
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(DuplicateFinder::standing(groups[0].files[i]->path(), groups[0].identities[i], groups[0].size),
                  DuplicateFinder::Standing::asCompared);
}

TEST_F(DuplicateTraps, LargeFilesAreEqualOnlyWhenEveryByteIs) {
    // Just over one comparison range: range 0 is most of the file, range 1 its last stretch. All
    // six share their first and last 64 KiB, so all six have one sample.
    const std::size_t size = static_cast<std::size_t>(DuplicateCompare::rangeBytes) + 200000;
    const std::size_t inFirst = size / 2, inSecond = size - 100000;
    // Over range 0 the parts are {same-*, differs-second} and {differs-first, differs-both}; over
    // range 1 {same-*, differs-first} and {differs-both, differs-second}: only same-* agree in both.
    std::string base = pattern(size, 61);
    for (const char* name : {"same-1", "same-2", "same-3"}) write(dir / name, base);
    base[inFirst] ^= 1;
    write(dir / "differs-first", base);
    base[inSecond] ^= 1;
    write(dir / "differs-both", base);
    base[inFirst] ^= 1;
    write(dir / "differs-second", base);

    // Under 128 KiB only the first 64 KiB are sampled: these differ after them.
    std::string small = pattern(100000, 62);
    write(dir / "short-1", small);
    small[90000] ^= 1;
    write(dir / "short-2", small);

    Progress progress;
    root = scan(dir.path());
    const auto groups = DuplicateFinder::find(root, 1, progress);
    EXPECT_EQ(progress.stage(), "Verifying 8 files") << "all of them share their samples";
    ASSERT_EQ(groups.size(), 1u);
    auto found = paths(groups)[0];
    std::sort(found.begin(), found.end()); // equal lengths keep the directory's order
    EXPECT_EQ(found, (std::vector<std::string>{"same-1", "same-2", "same-3"}));
    EXPECT_EQ(groups[0].size, static_cast<std::int64_t>(size));
    EXPECT_EQ(recoverable(groups), 2 * static_cast<std::int64_t>(size));
}

TEST_F(DuplicateTraps, ManyContentsThatPartAtOneChunkAreEachMatchedWithTheirCopy) {
    // Forty files of one size and one sample: twenty contents, each twice, that all part in the
    // same chunk, more than the comparison keeps in memory at once.
    std::string data = pattern(200000, 71);
    for (int content = 0; content < 20; ++content) {
        data[100000] = static_cast<char>(content);
        write(dir / ("c" + std::to_string(content) + "-a"), data);
        write(dir / ("c" + std::to_string(content) + "-b"), data);
    }
    const auto groups = search();
    std::set<std::vector<std::string>> found;
    for (auto group : paths(groups)) {
        std::sort(group.begin(), group.end());
        found.insert(group);
    }
    std::set<std::vector<std::string>> expected;
    for (int content = 0; content < 20; ++content)
        expected.insert({"c" + std::to_string(content) + "-a", "c" + std::to_string(content) + "-b"});
    EXPECT_EQ(found, expected);
    EXPECT_EQ(recoverable(groups), 20 * 200000);
}


} // namespace
} // namespace tallymere
