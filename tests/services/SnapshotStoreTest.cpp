#include "services/SnapshotCodec.h"
#include "services/SnapshotStore.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/TreeText.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallymere {
namespace {

namespace fs = std::filesystem;
using Change = SnapshotDelta::Change;

std::vector<std::string> pathsOf(const Snapshot& snapshot) {
    std::vector<std::string> paths;
    for (const auto& entry : snapshot.entries) paths.push_back(entry.path);
    return paths;
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> folderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename().string());
    return names;
}

// createdAt in seconds since 1970: 700000000.25 seconds since 2001 in the file.
Snapshot sample(double createdAt = 1678307200.25) {
    Snapshot snapshot;
    snapshot.id = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    snapshot.createdAt = createdAt;
    snapshot.rootPath = "/home/u";
    snapshot.title = "u";
    snapshot.totalSize = 10;
    snapshot.totalFiles = 2;
    snapshot.entries = {{"/home/u", 10, 2, true}, {"/home/u/a.txt", 7, 1, false}};
    return snapshot;
}

// The snapshot as load() gives it back from `file`.
Snapshot readFrom(Snapshot snapshot, const fs::path& file) {
    snapshot.file = file.string();
    return snapshot;
}

Snapshot withSizes(std::vector<std::pair<std::string, std::int64_t>> sizes) {
    Snapshot snapshot;
    for (auto& [path, size] : sizes) snapshot.entries.push_back({path, size, 1, true});
    return snapshot;
}

TEST(SnapshotCapture, PreOrderWithLastChildFirstAndChosenSizes) {
    const auto root = test::treeFromText(
        "/r/\n"
        "  a/\n"
        "    x.bin 100 alloc=4096\n"
        "  b.bin 200 alloc=8192\n"
        "  c/\n"
        "    y.bin 300 alloc=300\n");
    const Snapshot logical = SnapshotStore::capture(*root, "r", false, 6, 0);
    EXPECT_EQ(pathsOf(logical), (std::vector<std::string>{"/r", "/r/c", "/r/c/y.bin", "/r/b.bin", "/r/a", "/r/a/x.bin"}));
    EXPECT_EQ(logical.totalSize, 600);
    EXPECT_EQ(logical.totalFiles, 3);
    EXPECT_EQ(logical.entries[3], (Snapshot::Entry{"/r/b.bin", 200, 1, false}));

    const auto secondsNow = [] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    const double before = secondsNow();
    const Snapshot allocated = SnapshotStore::capture(*root, "r", true, 6, 0);
    const double after = secondsNow();
    EXPECT_EQ(allocated.totalSize, 4096 + 8192 + 300);
    EXPECT_EQ(allocated.entries[4], (Snapshot::Entry{"/r/a", 4096, 1, true}));
    EXPECT_NE(allocated.id, logical.id);
    EXPECT_GE(allocated.createdAt, before) << "the moment of capture, in the program's seconds since 1970";
    EXPECT_LE(allocated.createdAt, after);

    const auto leaf = test::treeFromText("/home/u/\n");
    EXPECT_EQ(SnapshotStore::capture(*leaf, "u", true, 6, 5000000).entries,
              (std::vector<Snapshot::Entry>{{"/home/u", 0, 0, true}}));
}

TEST(SnapshotCapture, DepthAndSizeLimits) {
    // /r is depth 0; deep/ runs down a chain to depth 8 (d8) whose file sits at depth 9.
    const auto root = test::treeFromText(
        "/r/\n"
        "  small/\n"
        "    mid/\n"
        "      low/\n"
        "        tiny.bin 600000\n"
        "  pkg.app/\n"
        "    inner/\n"
        "      big.bin 9000000\n"
        "  d1/\n"
        "    d2/\n"
        "      d3/\n"
        "        d4/\n"
        "          d5/\n"
        "            d6/\n"
        "              under7/\n"
        "                under8/\n"
        "                  f.bin 4999999\n"
        "              d7/\n"
        "                d8/\n"
        "                  f.bin 5000000\n");
    const Snapshot snapshot = SnapshotStore::capture(*root, "r", true, 6, 5000000);
    const std::vector<std::string> paths = pathsOf(snapshot);
    const std::set<std::string> recorded(paths.begin(), paths.end());
    const std::string d6 = "/r/d1/d2/d3/d4/d5/d6";

    EXPECT_TRUE(recorded.contains(d6 + "/d7")) << "big enough at depth 7";
    EXPECT_TRUE(recorded.contains(d6 + "/d7/d8")) << "big enough at depth 8";
    EXPECT_FALSE(recorded.contains(d6 + "/d7/d8/f.bin")) << "depth 8 is not entered";
    EXPECT_FALSE(recorded.contains(d6 + "/under7")) << "4999999 bytes at depth 7";
    EXPECT_FALSE(recorded.contains(d6 + "/under7/under8"));
    EXPECT_TRUE(recorded.contains("/r/pkg.app")) << "a package is recorded";
    EXPECT_FALSE(recorded.contains("/r/pkg.app/inner")) << "but never entered";
    EXPECT_FALSE(recorded.contains("/r/small")) << "600000 bytes is below minSize / 8: not visited at depth 1";
    EXPECT_EQ(paths.size(), 10u) << ::testing::PrintToString(paths);
}

TEST(SnapshotCapture, NonUtf8NamesAreRepairedAndSurviveARoundTrip) {
    const auto root = test::treeFromText("/r/\n  caf\xe9.txt 10\n");
    const Snapshot snapshot = SnapshotStore::capture(*root, "r", false, 6, 0);
    ASSERT_EQ(snapshot.entries.size(), 2u);
    EXPECT_EQ(snapshot.entries[1].path, "/r/caf\xef\xbf\xbd.txt");
    EXPECT_EQ(SnapshotCodec::decode(SnapshotCodec::encode(snapshot)), snapshot);
}

TEST(SnapshotFile, ExactCompactFormat) {
    EXPECT_EQ(SnapshotCodec::encode(sample()),
              R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","createdAt":700000000.25,"rootPath":"\/home\/u",)"
              R"("title":"u","totalSize":10,"totalFiles":2,"entries":[{"path":"\/home\/u","size":10,"files":2,)"
              R"("isDirectory":true},{"path":"\/home\/u\/a.txt","size":7,"files":1,"isDirectory":false}]})");
    Snapshot whole = sample(1678307200.0);
    whole.entries.clear();
    EXPECT_NE(SnapshotCodec::encode(whole).find(R"("createdAt":700000000,)"), std::string::npos);
    EXPECT_THROW(SnapshotCodec::encode(sample(std::numeric_limits<double>::infinity())), SnapshotCodec::EncodingError);
    EXPECT_THROW(SnapshotCodec::encode(sample(std::numeric_limits<double>::quiet_NaN())), SnapshotCodec::EncodingError);
}

TEST(SnapshotFile, EscapesAndExtremeValuesRoundTrip) {
    Snapshot snapshot = sample(1704153600.123456789);
    snapshot.title = "q\"b\\s/n\nt\tc\x01 \xc3\xa9";
    snapshot.totalSize = std::numeric_limits<std::int64_t>::min();
    snapshot.totalFiles = std::numeric_limits<std::int32_t>::max();
    snapshot.entries.push_back({"", std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int32_t>::min(), false});
    const std::string text = SnapshotCodec::encode(snapshot);
    EXPECT_NE(text.find(R"("title":"q\"b\\s\/n\nt\tc\u0001 )" "\xc3\xa9\""), std::string::npos) << text;
    EXPECT_EQ(SnapshotCodec::decode(text), snapshot);
}

TEST(SnapshotFile, KeysByNameInAnyOrderUnknownKeysIgnored) {
    const auto decoded = SnapshotCodec::decode(
        R"( { "extra": {"nested": [1, 2, {"x": null}]}, "entries": [{"isDirectory": false, "files": 0, "size": -3, "path": "p", "more": 1}],)"
        R"("totalFiles": 0, "totalSize": 5, "title": "", "rootPath": "/", "createdAt": 12, "id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f" } )");
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->createdAt, 978307212.0) << "12 seconds after the start of 2001";
    EXPECT_EQ(decoded->id.text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(decoded->entries, (std::vector<Snapshot::Entry>{{"p", -3, 0, false}}));
}

TEST(SnapshotFile, EveryMissingKeyMakesTheFileUnreadable) {
    const std::string good = SnapshotCodec::encode(sample());
    for (const char* key : {"\"id\"", "\"createdAt\"", "\"rootPath\"", "\"title\"", "\"totalSize\"", "\"totalFiles\"",
                            "\"entries\"", "\"path\"", "\"size\"", "\"files\"", "\"isDirectory\""}) {
        std::string renamed = good;
        renamed.replace(renamed.find(key), 1, "\"_"); // the key loses its name, its value stays
        EXPECT_FALSE(SnapshotCodec::decode(renamed).has_value()) << key;
    }
}

TEST(SnapshotFile, CorruptContentIsRejectedWithoutACrash) {
    const std::string good = SnapshotCodec::encode(sample());
    ASSERT_TRUE(SnapshotCodec::decode(good).has_value());
    for (std::size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(SnapshotCodec::decode(good.substr(0, length)).has_value()) << "truncated at " << length;

    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not JSON", "snapshot"},
        {"trailing garbage", good + "x"},
        {"array at the top", "[" + good + "]"},
        {"bad UUID", replaced("E621E1F8-", "E621E1FG-")},
        {"short UUID", replaced("E621E1F8-", "E621E1F-")},
        {"id as number", replaced(R"("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")", "1")},
        {"date as string", replaced("700000000.25", "\"700000000.25\"")},
        {"date out of double range", replaced("700000000.25", "1e999")},
        {"size as string", replaced(R"("size":10)", R"("size":"10")")},
        {"files as fraction", replaced(R"("files":2)", R"("files":2.5)")},
        {"totalFiles above 32 bits", replaced(R"("totalFiles":2)", R"("totalFiles":2147483648)")},
        {"files below 32 bits", replaced(R"("files":2)", R"("files":-2147483649)")},
        {"totalSize above 64 bits", replaced(R"("totalSize":10)", R"("totalSize":9223372036854775808)")},
        // Read digit by digit, these would overflow the value before the length limit refuses it.
        {"size of 40 nines", replaced(R"("size":10)", "\"size\":" + std::string(40, '9'))},
        {"negative size of 19 nines", replaced(R"("size":10)", "\"size\":-" + std::string(19, '9'))},
        {"isDirectory as number", replaced(R"("isDirectory":true)", R"("isDirectory":1)")},
        {"path as null", replaced(R"("path":"\/home\/u")", R"("path":null)")},
        {"entries as object", replaced(R"("entries":[)", R"("entries":{"a":[)") + "}"},
        {"entry as array", replaced(R"("entries":[)", R"("entries":[[1],)")},
        {"invalid UTF-8", replaced(R"("title":"u")", "\"title\":\"\xff\"")},
        {"nested 100,000 levels", replaced(R"("title":"u")", "\"title\":\"u\",\"x\":" + std::string(100000, '[') +
                                                                   std::string(100000, ']'))},
        {"nested unclosed", std::string(100000, '{')},
    };
    for (const auto& [what, text] : cases) EXPECT_FALSE(SnapshotCodec::decode(text).has_value()) << what;
    EXPECT_TRUE(SnapshotCodec::decode(replaced(R"("totalFiles":2)", R"("totalFiles":2147483647)")).has_value());
}

TEST(SnapshotFolder, SaveWritesItsOwnFileAndLoadReadsItBack) {
    test::TempFolder temp;
    const std::string folder = temp / "a/b/Snapshots"; // created with its parents
    Snapshot snapshot = sample();
    SnapshotStore::save(snapshot, folder);
    EXPECT_EQ(folderNames(folder), std::vector<std::string>{"E621E1F8-C36C-495A-93FC-0C247A3E6E5F.json"});
    std::ifstream file(fs::path(folder) / "E621E1F8-C36C-495A-93FC-0C247A3E6E5F.json", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), SnapshotCodec::encode(snapshot));
    const fs::path own = fs::path(folder) / "E621E1F8-C36C-495A-93FC-0C247A3E6E5F.json";
    EXPECT_EQ(SnapshotStore::load(folder), std::vector<Snapshot>{readFrom(snapshot, own)});

    snapshot.title = "again";
    SnapshotStore::save(snapshot, folder);
    EXPECT_EQ(SnapshotStore::load(folder), std::vector<Snapshot>{readFrom(snapshot, own)})
        << "saving again replaces its own file";
    EXPECT_EQ(folderNames(folder).size(), 1u) << "no temporary file stays behind";

    SnapshotStore::remove(snapshot, folder);
    EXPECT_TRUE(SnapshotStore::load(folder).empty());
    SnapshotStore::remove(snapshot, folder); // missing file: ignored
}

TEST(SnapshotFolder, SaveFailsWhenTheFolderCannotBeMade) {
    test::TempFolder temp;
    writeFile(temp / "blocker", "a regular file where a folder should be");
    const std::string folder = temp / "blocker/Snapshots";
    try {
        SnapshotStore::save(sample(), folder);
        FAIL() << "save reported success";
    } catch (const SnapshotStore::SaveError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot create the folder " + folder + ": Not a directory");
    }
    EXPECT_TRUE(SnapshotStore::load(folder).empty());
    EXPECT_EQ(folderNames(temp.path()), std::vector<std::string>{"blocker"});
}

// A snapshots folder on a mount that stopped answering: the listing is empty, a capture and a
// deletion say why, and the process can end while the mount stays stuck: no look waits on it.
TEST(SnapshotFolder, AFolderOnAMountThatStoppedAnsweringSaysSoAndHoldsNothing) {
    test::TempFolder temp;
    const std::string mount = temp.folder("net");
    const std::string folder = mount + "/sub";
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        fuse.stall();
        const bool ended = test::endsWithin(60, [&] {
            EXPECT_TRUE(SnapshotStore::load(folder).empty());
            try {
                SnapshotStore::save(sample(), folder);
                ADD_FAILURE() << "save reported success";
            } catch (const SnapshotStore::SaveError& error) {
                EXPECT_EQ(std::string(error.what()), "cannot save in " + folder + ": " + mount + " does not answer");
            }
            EXPECT_EQ(SnapshotStore::tryRemove(readFrom(sample(), folder + "/listed.json"), folder),
                      "cannot remove " + folder + "/listed.json: Its file system does not answer");
        });
        EXPECT_TRUE(ended) << "a look at the snapshots folder waits on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST(SnapshotFolder, AnotherUsersFolderOrLinkIsNeitherMadeNorSavedIn) {
    if (::getuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    // Root started with a user's HOME: the user's data folder, and a link of the user's into one of
    // root's.
    test::TempFolder temp;
    const std::string data = temp / "data";
    fs::create_directories(data);
    ASSERT_EQ(::chown(data.c_str(), 4242, 4242), 0);
    const std::string system = temp / "system";
    fs::create_directories(system);
    const std::string link = temp / "link";
    fs::create_directory_symlink(system, link);
    ASSERT_EQ(::lchown(link.c_str(), 4242, 4242), 0);

    for (const auto& [folder, reason] : {std::pair{data + "/Tallymere/Snapshots", data + " belongs to another user"},
                                         std::pair{link + "/Snapshots", link + " is a link of another user"}}) {
        try {
            SnapshotStore::save(sample(), folder);
            ADD_FAILURE() << "saved in " << folder;
        } catch (const SnapshotStore::SaveError& error) {
            EXPECT_EQ(std::string(error.what()), "cannot save in " + folder + ": " + reason);
        }
        // Listing and deleting make no folder there either.
        EXPECT_TRUE(SnapshotStore::load(folder).empty());
        SnapshotStore::remove(sample(), folder);
    }
    EXPECT_TRUE(fs::is_empty(data));
    EXPECT_TRUE(fs::is_empty(system));
}

TEST(SnapshotFolder, LoadListsNewestFirstAndSkipsWhatItCannotRead) {
    test::TempFolder temp;
    const std::string folder = temp.path();
    Snapshot old = sample(100), mid = sample(200), fresh = sample(300);
    for (Snapshot* s : {&old, &mid, &fresh}) s->id = Uuid::random();
    for (const Snapshot* s : {&mid, &fresh, &old}) SnapshotStore::save(*s, folder);

    Snapshot renamed = sample(150);
    renamed.id = Uuid::random();
    writeFile(temp / "not-its-id.json", SnapshotCodec::encode(renamed));
    Snapshot hidden = sample(50);
    hidden.id = Uuid::random();
    writeFile(temp / ".hidden.json", SnapshotCodec::encode(hidden));

    Snapshot upper = sample(400);
    upper.id = Uuid::random();
    writeFile(temp / (upper.id.text() + ".JSON"), SnapshotCodec::encode(upper));
    writeFile(temp / "broken.json", SnapshotCodec::encode(upper).substr(0, 40));
    writeFile(temp / "deep.json", std::string(100000, '['));
    writeFile(temp / "empty.json", "");
    fs::create_directory(temp / "folder.json");
    ASSERT_EQ(::mkfifo((temp / "pipe.json").c_str(), 0644), 0) << "a pipe must not block the listing";
    // A link to a snapshot would list it twice; a huge sparse file is not read at all.
    fs::create_symlink(temp / (fresh.id.text() + ".json"), temp / "link.json");
    writeFile(temp / "huge.json", "{");
    ASSERT_EQ(::truncate((temp / "huge.json").c_str(), off_t{1} << 40), 0);

    const auto own = [&](const Snapshot& s) { return readFrom(s, temp / (s.id.text() + ".json")); };
    EXPECT_EQ(SnapshotStore::load(folder), (std::vector<Snapshot>{own(fresh), own(mid), readFrom(renamed, temp / "not-its-id.json"),
                                                                  own(old), readFrom(hidden, temp / ".hidden.json")}));
}

// No snapshot file is larger than the limit: one that is, even a snapshot padded out, is not read
// (its bytes would only cost memory), and a capture too large for it is refused rather than saved
// where no listing would find it.
TEST(SnapshotFolder, NoFileLargerThanTheLimitIsReadOrWritten) {
    test::TempFolder temp;
    const std::string folder = temp.path();
    std::string padded = SnapshotCodec::encode(sample());
    padded.append(static_cast<std::size_t>(SnapshotStore::maxFileBytes) + 1 - padded.size(), ' ');
    writeFile(temp / "padded.json", padded);
    EXPECT_TRUE(SnapshotStore::load(folder).empty());

    Snapshot huge = sample();
    huge.id = Uuid::random();
    huge.entries.push_back({std::string(static_cast<std::size_t>(SnapshotStore::maxFileBytes), 'x'), 1, 1, false});
    try {
        SnapshotStore::save(huge, folder);
        ADD_FAILURE() << "a snapshot no listing could read was saved";
    } catch (const SnapshotStore::SaveError& error) {
        EXPECT_NE(std::string(error.what()).find("more than a snapshot file may hold (64\u00A0MB)"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(folderNames(folder), (std::vector<std::string>{"padded.json"})) << "nothing written";
}

TEST(SnapshotFolder, DeletingRemovesTheFileTheSnapshotWasReadFromAndACopyIsListedOnce) {
    test::TempFolder temp;
    const std::string folder = temp.path();
    Snapshot original = sample(100);
    original.id = Uuid::random();
    SnapshotStore::save(original, folder);
    const fs::path originalFile = temp / (original.id.text() + ".json");
    // A copy made later: one id, two files, one row, and that row is the newer file.
    fs::copy_file(originalFile, temp / "copy.json");
    const timespec times[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (temp / "copy.json").c_str(), times, 0), 0);
    Snapshot renamed = sample(200);
    renamed.id = Uuid::random();
    writeFile(temp / "renamed.json", SnapshotCodec::encode(renamed));

    auto listed = SnapshotStore::load(folder);
    ASSERT_EQ(listed, (std::vector<Snapshot>{readFrom(renamed, temp / "renamed.json"), readFrom(original, temp / "copy.json")}));

    EXPECT_EQ(SnapshotStore::tryRemove(listed[0], folder), "");
    EXPECT_FALSE(fs::exists(temp / "renamed.json")) << "a renamed file is deleted, not looked for by its id";
    SnapshotStore::remove(listed[1], folder);
    EXPECT_FALSE(fs::exists(temp / "copy.json"));
    EXPECT_TRUE(fs::exists(originalFile)) << "deleting the copy's row leaves the original";
    EXPECT_EQ(SnapshotStore::load(folder), std::vector<Snapshot>{readFrom(original, originalFile)});

    // A file that holds another snapshot by the time of the deletion is not the one asked for.
    listed = SnapshotStore::load(folder);
    Snapshot other = sample(300);
    other.id = Uuid::random();
    writeFile(originalFile, SnapshotCodec::encode(other));
    EXPECT_EQ(SnapshotStore::tryRemove(listed[0], folder),
              "cannot remove " + originalFile.string() + ": the file no longer holds this snapshot");
    EXPECT_TRUE(fs::exists(originalFile));
    fs::remove(originalFile);
    EXPECT_EQ(SnapshotStore::tryRemove(listed[0], folder), "") << "a file already gone is no failure";

    // A capture never read back is deleted by its id's file name.
    SnapshotStore::save(renamed, folder);
    SnapshotStore::remove(renamed, folder);
    EXPECT_TRUE(SnapshotStore::load(folder).empty());
}

TEST(SnapshotFolder, EqualDatesKeepListingOrder) {
    test::TempFolder temp;
    std::vector<Snapshot> saved;
    for (int i = 0; i < 8; ++i) {
        Snapshot s = sample(500);
        s.id = Uuid::random();
        s.title = std::to_string(i);
        SnapshotStore::save(s, temp.path());
        saved.push_back(s);
    }
    std::vector<std::string> expected;
    for (const auto& name : folderNames(temp.path())) expected.push_back(name.substr(0, 36));
    std::vector<std::string> listed;
    for (const auto& s : SnapshotStore::load(temp.path())) listed.push_back(s.id.text());
    EXPECT_EQ(listed, expected);
}

TEST(SnapshotDiff, ThresholdAndSelfComparison) {
    const Snapshot a = withSizes({{"/r", 100}, {"/r/x", 60}, {"/r/y", 40}});
    EXPECT_TRUE(SnapshotStore::diff(a, a, 1).empty());

    const Snapshot b = withSizes({{"/r", 100}, {"/r/x", 70}, {"/r/y", 31}});
    const auto deltas = SnapshotStore::diff(a, b, 10);
    ASSERT_EQ(deltas.size(), 1u) << "grew by exactly 10 is reported, shrank by 9 is not";
    EXPECT_EQ(deltas[0], (SnapshotDelta{"/r/x", "x", 60, 70, Change::grew}));
    EXPECT_EQ(deltas[0].id(), "/r/x");

    const auto shrank = SnapshotStore::diff(b, a, 9);
    ASSERT_EQ(shrank.size(), 2u);
    EXPECT_EQ(shrank[0], (SnapshotDelta{"/r/x", "x", 70, 60, Change::shrank}));
    EXPECT_EQ(shrank[1], (SnapshotDelta{"/r/y", "y", 31, 40, Change::grew}));
}

TEST(SnapshotDiff, ParentCarriedWhollyByOneChildIsDropped) {
    const Snapshot from = withSizes({{"/", 1000000000}, {"/a", 300000000}, {"/a/b", 100000000}, {"/a/c", 10}});
    const Snapshot to = withSizes({{"/", 1000000000}, {"/a", 400000000}, {"/a/b", 195000000}, {"/a/c", 10}});
    EXPECT_EQ(SnapshotStore::diff(from, to, 10000000),
              (std::vector<SnapshotDelta>{{"/a/b", "b", 100000000, 195000000, Change::grew}}));

    // The tolerance is a fifth of the folder's change, inclusive: 20000000 of 100000000.
    for (const auto& [childGrowth, folderKept] : {std::pair{80000000, false}, std::pair{79999999, true}}) {
        const Snapshot edge = withSizes({{"/", 1000000000}, {"/a", 400000000}, {"/a/b", 100000000 + childGrowth}, {"/a/c", 10}});
        const auto deltas = SnapshotStore::diff(from, edge, 10000000);
        EXPECT_EQ(deltas.size(), folderKept ? 2u : 1u) << childGrowth;
        EXPECT_EQ(deltas.back().path, "/a/b");
    }

    const Snapshot spread = withSizes({{"/", 1000000000}, {"/a", 400000000}, {"/a/b", 150000000}, {"/a/c", 50000010}});
    EXPECT_EQ(SnapshotStore::diff(from, spread, 10000000),
              (std::vector<SnapshotDelta>{{"/a", "a", 300000000, 400000000, Change::grew},
                                          {"/a/b", "b", 100000000, 150000000, Change::grew},
                                          {"/a/c", "c", 10, 50000010, Change::grew}}));

    const Snapshot added = withSizes({{"/", 1150000000}, {"/a", 300000000}, {"/a/b", 100000000}, {"/a/c", 10},
                                      {"/new", 150000000}, {"/new/data", 150000000}});
    EXPECT_EQ(SnapshotStore::diff(from, added, 10000000),
              (std::vector<SnapshotDelta>{{"/new/data", "data", 0, 150000000, Change::added}}))
        << "a new folder is reported at its only new child";
}

TEST(SnapshotDiff, DifferentRootsShareNoPath) {
    const Snapshot from = withSizes({{"/old", 30000000}, {"/old/a", 20000000}, {"/old/b", 10000000}, {"/old/c", 5}});
    const Snapshot to = withSizes({{"/new", 50000000}, {"/new/z", 50000000}});
    EXPECT_EQ(SnapshotStore::diff(from, to, 10000000),
              (std::vector<SnapshotDelta>{{"/new/z", "z", 0, 50000000, Change::added},
                                          {"/old", "old", 30000000, 0, Change::removed},
                                          {"/old/a", "a", 20000000, 0, Change::removed},
                                          {"/old/b", "b", 10000000, 0, Change::removed}}));
}

TEST(SnapshotDiff, LastEntryOfARepeatedPathCountsAndExtremesDoNotOverflow) {
    const Snapshot from = withSizes({{"/r", 5}, {"/r", std::numeric_limits<std::int64_t>::min()}});
    const Snapshot to = withSizes({{"/r", std::numeric_limits<std::int64_t>::max()}, {"/r", 7}});
    EXPECT_EQ(SnapshotStore::diff(from, to, std::numeric_limits<std::int64_t>::max()),
              (std::vector<SnapshotDelta>{{"/r", "r", std::numeric_limits<std::int64_t>::min(), 7, Change::grew}}));
}

} // namespace
} // namespace tallymere
