#include "services/DuplicateFinder.h"
#include "core/DiskScanner.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "services/DuplicateTestSupport.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include "services/DuplicateCompare.h"
#include "services/DuplicateFiles.h"
#include "services/DuplicateGated.h"

#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tallymere {
namespace {

using DuplicateFinder::Group;
using DuplicateFinder::Progress;
using namespace test;

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

    // Empty files share their size and their (lack of) content, but hold nothing to free.
    test::TempFolder empty;
    write(empty / "e1", "");
    write(empty / "e2", "");
    Progress emptyProgress;
    EXPECT_TRUE(DuplicateFinder::find(scan(empty.path()), 0, emptyProgress).empty());
    EXPECT_EQ(emptyProgress.stage(), "Sampling 2 candidates");
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

TEST(DuplicateSearch, AFolderSwappedForALinkIsNotReadThrough) {
    test::TempFolder dir;
    // Read whole while sampling, and sampled through the folder then compared by path.
    const std::string small = pattern(20000, 21);
    const std::string large = pattern(300000, 22);
    for (const char* folder : {"scan/in", "scan/sub", "outside"}) {
        dir.folder(folder);
        write(dir / (std::string(folder) + "/small"), small);
        write(dir / (std::string(folder) + "/large"), large);
    }
    auto root = scan(dir / "scan");
    // After the scan the folder becomes a link to one outside, holding the same names and bytes.
    ASSERT_EQ(::rename((dir / "scan/sub").c_str(), (dir / "sub.old").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "scan/sub").c_str()), 0);

    Progress progress;
    EXPECT_TRUE(DuplicateFinder::find(root, 1, progress).empty());
    DuplicateFiles::Identity identity;
    EXPECT_FALSE(DuplicateFiles::openCandidate(dir / "scan/sub/small", 20000, identity).isOpen());
    EXPECT_FALSE(DuplicateFiles::openFolder(dir / "scan/sub").isOpen());
    EXPECT_EQ(DuplicateFinder::standing(dir / "scan/sub/large", {}, 300000), DuplicateFinder::Standing::changed);
    EXPECT_EQ(DuplicateFinder::standing(dir / "scan/in/large", {}, 300000), DuplicateFinder::Standing::asCompared);
}

// Overwrites one byte in place: same file, same size, new content.
void flipByte(const std::string& path, off_t offset) {
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    char byte = 0;
    ASSERT_EQ(::pread(fd, &byte, 1, offset), 1);
    byte ^= 1;
    ASSERT_EQ(::pwrite(fd, &byte, 1, offset), 1);
    ::close(fd);
}

TEST(DuplicateCompareSet, AFileWrittenBehindTheReadingIsNoCopy) {
    test::TempFolder dir;
    const std::string data = pattern(3 * DuplicateCompare::chunkBytes, 31);
    for (const char* name : {"a", "b", "c"}) write(dir / name, data);
    auto root = scan(dir.path());
    std::vector<DuplicateCompare::File> files;
    for (const FileNode* child : root->children()) {
        DuplicateFiles::Identity identity;
        ASSERT_TRUE(DuplicateFiles::openCandidate(child->path(), child->size, identity).isOpen());
        files.push_back({child, identity});
    }
    std::sort(files.begin(), files.end(), [](const auto& x, const auto& y) { return x.node->name() < y.node->name(); });
    // Change times tick coarsely: let one tick pass so the write below moves b's.
    ::usleep(30000);

    // Once the first chunk of every file is read, b's first chunk is written over: b no longer
    // holds what was compared, and reporting it would have the user trash the only copy of it.
    DuplicateCompare::SameSizeSet set(static_cast<std::int64_t>(data.size()), files);
    DuplicateCompare::Scratch scratch;
    int chunks = 0;
    ASSERT_TRUE(set.compareRange(0, scratch, [&] {
        if (++chunks == 2) flipByte(dir / "b", 100);
        return false;
    }));
    ASSERT_TRUE(set.finishRange());
    const auto identical = set.identical();
    ASSERT_EQ(identical.size(), 1u);
    EXPECT_EQ(identical[0], (std::vector<std::size_t>{0, 2})) << "a and c only";
}

// Read through the gate, a candidate gives the sample it gives read here (so a local copy and one
// on a network mount meet), a link in its place is refused, and a set read a stretch at a time
// parts the files that reading here parts, in the middle and in the last byte.
TEST(DuplicateGatedReading, GivesWhatReadingHereGives) {
    test::TempFolder dir;
    std::vector<unsigned char> buffer(DuplicateFiles::sampleBufferBytes);
    DuplicateFiles::Identity here, gated;
    std::uint64_t local = 0, through = 0;
    for (const std::int64_t size : {100, 65536, 100000, 131072, 131073, 400000}) {
        write(dir / "f", pattern(static_cast<std::size_t>(size), 5));
        ASSERT_TRUE(DuplicateFiles::sample(DuplicateFiles::openCandidate(dir / "f", size, here).get(), size, buffer, local));
        ASSERT_EQ(DuplicateGated::sample(dir / "f", size, buffer, gated, through), 0) << size;
        EXPECT_TRUE(through == local && gated.isUnchanged(here)) << size;
    }
    ASSERT_EQ(::symlink((dir / "f").c_str(), (dir / "link").c_str()), 0);
    EXPECT_NE(DuplicateGated::sample(dir / "link", 400000, buffer, gated, through), 0);

    const std::string data = pattern(3 * 128 * 1024 + 5, 6);
    std::string middle = data, last = data;
    middle[200000] ^= 1;
    last.back() ^= 1;
    dir.folder("set");
    for (const auto& [name, bytes] : {std::pair{"a", data}, {"b", data}, {"c", middle}, {"d", last}})
        write(dir / ("set/" + std::string(name)), bytes);
    auto root = scan(dir / "set");
    std::vector<DuplicateCompare::File> files;
    for (const FileNode* child : root->children()) {
        files.push_back({child, {}});
        DuplicateFiles::openCandidate(child->path(), child->size, files.back().identity);
    }
    std::sort(files.begin(), files.end(), [](const auto& x, const auto& y) { return x.node->name() < y.node->name(); });
    DuplicateCompare::SameSizeSet set(static_cast<std::int64_t>(data.size()), files, {true, true, true, true});
    DuplicateCompare::Scratch scratch;
    ASSERT_TRUE(set.compareRange(0, scratch, [] { return false; }) && set.finishRange());
    EXPECT_EQ(set.identical(), (std::vector<std::vector<std::size_t>>{{0, 1}}));
}

// Copies on a FUSE mount that serves are found beside a local one. Once it stops answering, a new
// search leaves its files out, counts them and ends, and the process that searched can end.
TEST(DuplicateSearch, FilesOnAMountThatStopsAnsweringAreLeftOutCountedAndTheSearchEnds) {
    test::TempFolder dir;
    dir.folder("copies");
    write(dir / "copies/file.txt", "hello\n");
    const std::string mount = dir.folder("net");
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::StallingFuse>(mount);
        if (!fuse->isMounted()) ::_exit(77);
        const auto root = scan(dir.path());
        ASSERT_TRUE(root);
        Progress serving;
        EXPECT_EQ(relativePaths(DuplicateFinder::find(root, 1, serving), dir.path()),
                  (std::vector<std::vector<std::string>>{{"net/file.txt", "copies/file.txt"}}));
        EXPECT_EQ(serving.unanswered(), 0);

        fuse->stall();
        const bool ended = test::endsWithin(30, [&] {
            Progress stalled;
            EXPECT_TRUE(DuplicateFinder::find(root, 1, stalled).empty());
            EXPECT_EQ(stalled.stage(), "Sampling 3 candidates");
            EXPECT_EQ(stalled.done(), 3);
            EXPECT_EQ(stalled.unanswered(), 2) << "file.txt and sub/inner.txt of the mount";
        });
        EXPECT_TRUE(ended) << "a process that searched beside the mount could not end";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
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

    // An administrator reads everything: search as an ordinary user.
    const bool ran = test::runUnprivileged([&] {
        Progress progress;
        EXPECT_EQ(relativePaths(DuplicateFinder::find(root, 1, progress), base),
                  (std::vector<std::vector<std::string>>{{"open1", "open2"}}));
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
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

TEST(DuplicateSearch, SearchesOnTheCallingThreadWhenNoThreadCanStart) {
    // Twenty pairs of copies, each pair a size of its own: several sampling runs and several sets
    // to compare, so both stages ask for threads.
    test::TempFolder folder;
    for (unsigned pair = 0; pair < 20; ++pair) {
        const std::string data = pattern(140000 + pair, pair + 1);
        write(folder / ("a" + std::to_string(pair)), data);
        write(folder / ("b" + std::to_string(pair)), data);
    }
    const auto root = scan(folder.path());
    ASSERT_TRUE(root);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    const auto noThreads = [] {
        // As a user of its own with a limit of one process, this process may start no thread
        // (root is never held to the limit).
        const struct rlimit one {1, 1};
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                 ::setresuid(65534, 65534, 65534) != 0))
            return std::string("cannot become the user nobody here");
        if (::setrlimit(RLIMIT_NPROC, &one) != 0) return std::string("cannot limit the processes here");
        pthread_t probe;
        if (::pthread_create(&probe, nullptr, [](void*) -> void* { return nullptr; }, nullptr) == 0)
            return std::string("threads still start under the limit here");
        return std::string();
    };
    const bool ran = test::runInFreshChild(noThreads, [&] {
        try {
            Progress progress;
            EXPECT_EQ(DuplicateFinder::find(root, 1, progress).size(), 20u);
            EXPECT_EQ(progress.done(), 40);
        } catch (...) {
            ADD_FAILURE() << "the search threw when a thread could not start";
        }
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

} // namespace
} // namespace tallymere
