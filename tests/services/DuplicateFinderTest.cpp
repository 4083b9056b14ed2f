#include "services/DuplicateFinder.h"
#include "core/DiskScanner.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace tallymere {
namespace {

using DuplicateFinder::Group;
using DuplicateFinder::Progress;

// Bytes of a seeded pattern, so different seeds give different content of any length.
std::string pattern(std::size_t bytes, unsigned seed) {
    std::string data(bytes, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return data;
}

void write(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::shared_ptr<FileNode> scan(const std::string& path) {
    ScanProgress progress;
    ScanOptions options;
    options.includeHidden = true;
    return DiskScanner::scan(path, options, progress);
}

// Each group as its paths relative to `base`, in group order.
std::vector<std::vector<std::string>> relativePaths(const std::vector<Group>& groups, const std::string& base) {
    std::vector<std::vector<std::string>> out;
    for (const Group& group : groups) {
        std::vector<std::string> paths;
        for (const auto& file : group.files) paths.push_back(file->path().substr(base.size() + 1));
        out.push_back(paths);
    }
    return out;
}

TEST(DuplicateSearch, GroupsOrderedByWasteWithShortestPathKept) {
    test::TempFolder dir;
    dir.folder("a/b");
    const std::string ten = pattern(300000, 1);
    write(dir / "a/b/x", ten);
    write(dir / "x", ten);
    write(dir / "a/x", ten);
    write(dir / "a/other", pattern(300000, 2)); // same size, other content
    const std::string fifteen = pattern(450000, 3);
    write(dir / "abcd", fifteen);
    // Decomposed "é" three times: nine bytes, six code points, but three characters, so it is the
    // shorter path of the pair.
    write(dir / "e\xCC\x81" "e\xCC\x81" "e\xCC\x81", fifteen);
    // Exactly the minimum size forms a group; one byte less is no candidate.
    write(dir / "m1", pattern(200000, 4));
    write(dir / "m22", pattern(200000, 4));
    write(dir / "s1", pattern(199999, 5));
    write(dir / "s2", pattern(199999, 5));
    ASSERT_EQ(::symlink((dir / "x").c_str(), (dir / "link-to-x").c_str()), 0);

    auto root = scan(dir.path());
    ASSERT_TRUE(root);
    Progress progress;
    const auto groups = DuplicateFinder::find(root, 200000, progress);

    using Paths = std::vector<std::vector<std::string>>;
    EXPECT_EQ(relativePaths(groups, dir.path()),
              (Paths{{"x", "a/x", "a/b/x"}, {"e\xCC\x81" "e\xCC\x81" "e\xCC\x81", "abcd"}, {"m1", "m22"}}));
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].size, 300000);
    EXPECT_EQ(groups[0].waste(), 600000);
    EXPECT_EQ(groups[1].waste(), 450000);
    EXPECT_NE(groups[0].id, groups[1].id);
    // The candidates: the four 300,000-byte files, the 450,000-byte pair and the pair at the minimum;
    // the link is none. Seven reach the verify stage (the other content drops out).
    EXPECT_EQ(progress.stage(), "Verifying 7 files");
    EXPECT_EQ(progress.done(), 7);
    EXPECT_EQ(progress.total(), 7);

    // The groups keep their tree: paths stay whole after every other holder has let go.
    const std::string kept = groups[0].files[0]->path();
    root.reset();
    EXPECT_EQ(groups[0].files[0]->path(), kept);
}

TEST(DuplicateSearch, SameSampleDifferentContentIsNoGroup) {
    test::TempFolder dir;
    // Above 128 KiB: head and tail agree, the middle differs.
    std::string big = pattern(400000, 7);
    write(dir / "big1", big);
    big[200000] ^= 1;
    write(dir / "big2", big);
    // Up to 128 KiB only the head is sampled: these differ after the first 64 KiB.
    std::string mid = pattern(100000, 8);
    write(dir / "mid1", mid);
    mid[99999] ^= 1;
    write(dir / "mid2", mid);
    // Sizes alone differ: never read.
    write(dir / "lone1", pattern(5000, 9));
    write(dir / "lone2", pattern(5001, 9));

    auto root = scan(dir.path());
    Progress progress;
    EXPECT_TRUE(DuplicateFinder::find(root, 1, progress).empty());
    EXPECT_EQ(progress.stage(), "Verifying 4 files") << "both pairs share a sample and reach the full digest";

    Progress nothing;
    test::TempFolder unique;
    write(unique / "a", "1");
    write(unique / "b", "22");
    EXPECT_TRUE(DuplicateFinder::find(scan(unique.path()), 0, nothing).empty());
    EXPECT_EQ(nothing.stage(), "Collecting files");
    EXPECT_EQ(nothing.total(), 0);
}

TEST(DuplicateSearch, FilesChangedSinceTheScanDropOut) {
    test::TempFolder dir;
    const std::string small = pattern(20000, 11);  // read whole in the sample stage
    const std::string large = pattern(300000, 12); // sampled, then hashed in full
    for (const char* name : {"keep1", "keep2", "gone1", "gone2", "fifo1", "fifo2", "link1", "link2", "edit1",
                             "edit2", "grow1", "grow2"})
        write(dir / name, small);
    for (const char* name : {"big1", "big2", "bigEdit1", "bigEdit2", "bigCut1", "bigCut2"})
        write(dir / std::string(name), std::string(large));
    auto root = scan(dir.path());

    std::remove((dir / "gone2").c_str());
    std::remove((dir / "fifo2").c_str());
    ASSERT_EQ(::mkfifo((dir / "fifo2").c_str(), 0644), 0) << "a FIFO must neither block nor match";
    std::remove((dir / "link2").c_str());
    ASSERT_EQ(::symlink((dir / "link1").c_str(), (dir / "link2").c_str()), 0);
    std::string edited = small;
    edited[10] ^= 1;
    write(dir / "edit2", edited);
    write(dir / "grow2", small + "x");
    std::string bigEdited = large;
    bigEdited[150000] ^= 1; // same size, same head and tail: only the full digest tells
    write(dir / "bigEdit2", bigEdited);
    write(dir / "bigCut2", large.substr(0, 200000));

    // Every original is the same small (or large) content, so the survivors form one group each.
    Progress progress;
    const auto groups = DuplicateFinder::find(root, 1, progress);
    ASSERT_EQ(groups.size(), 2u);
    auto names = [&](const Group& group) {
        std::set<std::string> out;
        for (const auto& file : group.files) out.insert(file->path().substr(dir.path().size() + 1));
        return out;
    };
    EXPECT_EQ(names(groups[0]), (std::set<std::string>{"big1", "big2", "bigCut1", "bigEdit1"}));
    EXPECT_EQ(names(groups[1]),
              (std::set<std::string>{"keep1", "keep2", "gone1", "fifo1", "link1", "edit1", "grow1"}));
}

TEST(DuplicateSearch, UnreadableFilesAreNeverIdentical) {
    test::TempFolder dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string data = pattern(300000, 21);
    for (const char* name : {"open1", "open2", "shut1", "shut2"}) write(dir / name, data);
    for (const char* name : {"shut1", "shut2"}) ASSERT_EQ(::chmod((dir / name).c_str(), 0), 0);
    for (const char* name : {"open1", "open2"}) ASSERT_EQ(::chmod((dir / name).c_str(), 0644), 0);
    auto root = scan(dir.path());
    const std::string base = dir.path();

    // An administrator reads everything: search as an ordinary user, in a child process.
    auto searchAsUser = [&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
        Progress progress;
        const auto groups = DuplicateFinder::find(root, 1, progress);
        const bool ok = relativePaths(groups, base) == std::vector<std::vector<std::string>>{{"open1", "open2"}};
        std::_Exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(searchAsUser(), ::testing::ExitedWithCode(0), "");
}

// A tree of `pairs` identical pairs, each pair its own content.
std::shared_ptr<FileNode> pairsTree(const test::TempFolder& dir, int pairs, std::size_t bytes) {
    for (int i = 0; i < pairs; ++i) {
        const std::string data = pattern(bytes, 100 + static_cast<unsigned>(i));
        write(dir / ("p" + std::to_string(i) + "a"), data);
        write(dir / ("p" + std::to_string(i) + "b"), data);
    }
    return scan(dir.path());
}

TEST(DuplicateSearchCancel, StopsAtEachStage) {
    test::TempFolder dir;
    auto root = pairsTree(dir, 60, 140000); // above 128 KiB: both stages read the files

    Progress before;
    before.cancel();
    EXPECT_TRUE(DuplicateFinder::find(root, 1, before).empty());
    EXPECT_EQ(before.stage(), "Collecting files") << "stopped before any file was read";

    // During sampling: nothing is returned even though samples already matched.
    Progress sampling;
    sampling.setObserver([](Progress& p) {
        if (p.done() >= 3) p.cancel();
    });
    EXPECT_TRUE(DuplicateFinder::find(root, 1, sampling).empty());
    EXPECT_EQ(sampling.stage(), "Sampling 120 candidates");
    EXPECT_LT(sampling.done(), sampling.total()) << "skipped files are not counted";

    // During verifying: the groups among the files already verified, each whole and confirmed.
    Progress verifying;
    verifying.setObserver([](Progress& p) {
        if (p.stage().starts_with("Verifying") && p.done() >= 20) p.cancel();
    });
    const auto partial = DuplicateFinder::find(root, 1, verifying);
    EXPECT_EQ(verifying.stage(), "Verifying 120 files");
    EXPECT_LT(verifying.done(), verifying.total());
    EXPECT_LT(partial.size(), 60u);
    std::set<std::string> seen;
    for (const Group& group : partial) {
        ASSERT_EQ(group.files.size(), 2u);
        const std::string a = group.files[0]->path(), b = group.files[1]->path();
        EXPECT_EQ(a.substr(0, a.size() - 1), b.substr(0, b.size() - 1)) << "only true pairs: " << a << " " << b;
        seen.insert(a);
    }
    EXPECT_EQ(seen.size(), partial.size());

    Progress whole;
    EXPECT_EQ(DuplicateFinder::find(root, 1, whole).size(), 60u);
}

TEST(DuplicateSearch, GraphemeCountIsUserPerceivedCharacters) {
    EXPECT_EQ(DuplicateFinder::graphemeCount("/a/b"), 4u);
    EXPECT_EQ(DuplicateFinder::graphemeCount("e\xCC\x81"), 1u);           // e + combining acute
    EXPECT_EQ(DuplicateFinder::graphemeCount("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"), 1u); // thumbs up, skin tone
    EXPECT_EQ(DuplicateFinder::graphemeCount("a\r\nb"), 3u);
    EXPECT_EQ(DuplicateFinder::graphemeCount("\xFF" "a"), 2u) << "an invalid byte counts as one replacement character";
}

} // namespace
} // namespace tallymere
