#include "core/PresetScanner.h"
#include "platform/UserFolders.h"
#include "support/TempFolder.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>
#include <set>

namespace tallymere {
namespace {

using test::treeFromText;

const std::vector<CleanupPreset>& presets() {
    static const std::vector<CleanupPreset> table = CleanupPreset::table("/home/al");
    return table;
}

// Preset id -> the matched nodes' paths, largest first.
std::map<std::string, std::vector<std::string>> hitPaths(const std::vector<PresetHit>& hits) {
    std::map<std::string, std::vector<std::string>> out;
    for (const PresetHit& hit : hits)
        for (const auto& node : hit.nodes) out[hit.preset.id].push_back(node->path());
    return out;
}

std::vector<PresetHit> scan(const std::shared_ptr<FileNode>& root) {
    return PresetScanner::run(root, presets(), true);
}

TEST(PresetTable, TwelvePresetsWithDownloadsBoundToTheHomeFolderAsAScanSeesIt) {
    EXPECT_EQ(presets().size(), 12u);
    // A home behind a link ("/home" -> "/var/home") is scanned as the real folder, so the table
    // the program uses names that one. The table is made once, on first use: here.
    test::TempFolder place;
    const std::string real = place.folder("var/home/al");
    ASSERT_EQ(::symlink((place / "var/home").c_str(), (place / "home").c_str()), 0);
    const char* savedHome = std::getenv("HOME");
    const std::string saved = savedHome ? savedHome : "";
    ::setenv("HOME", (place / "home/al").c_str(), 1);
    ::unsetenv("XDG_DATA_HOME");
    const auto& all = CleanupPreset::all();
    ::setenv("HOME", saved.c_str(), 1);
    EXPECT_EQ(all, CleanupPreset::table(real, real + "/.local/share", getuid()));
    auto tree = treeFromText(real + "/\n  Downloads/\n    a 10\n  .local/\n    share/\n      Trash/\n        b 20\n");
    const auto paths = hitPaths(PresetScanner::run(tree, all, true));
    EXPECT_EQ(paths.at("downloads"), std::vector<std::string>{real + "/Downloads"});
    EXPECT_EQ(paths.at("trash"), std::vector<std::string>{real + "/.local/share/Trash"});
}

TEST(PresetMatching, OneNodeCanCountUnderSeveralPresets) {
    auto root = treeFromText("/home/al/\n"
                             "  Library/\n"
                             "    Developer/\n"
                             "      CoreSimulator/\n"
                             "        Devices/\n"
                             "          Caches/\n"
                             "            blob 500\n"
                             "  proj/\n"
                             "    .gradle/\n"
                             "      g 70\n");
    const auto hits = scan(root);
    const auto paths = hitPaths(hits);
    // CoreSimulator itself is matched first and not entered, so its Caches is never reached.
    EXPECT_EQ(paths.at("simulators"), std::vector<std::string>{"/home/al/Library/Developer/CoreSimulator"});
    EXPECT_FALSE(paths.count("caches"));
    EXPECT_EQ(paths.at("build"), std::vector<std::string>{"/home/al/proj/.gradle"});
    EXPECT_EQ(paths.at("android"), std::vector<std::string>{"/home/al/proj/.gradle"});

    auto sim = treeFromText("/Users/x/\n"
                            "  CoreSimulatorData/\n"
                            "    Caches/\n"
                            "      c 40\n");
    const auto simPaths = hitPaths(scan(sim));
    EXPECT_EQ(simPaths.at("simulators"), std::vector<std::string>{"/Users/x/CoreSimulatorData/Caches"});
    EXPECT_EQ(simPaths.at("caches"), std::vector<std::string>{"/Users/x/CoreSimulatorData/Caches"});
}

TEST(PresetMatching, MatchedFoldersAndPackagesAreNotEntered) {
    auto root = treeFromText("/w/\n"
                             "  build/\n"
                             "    node_modules/\n"
                             "      m 10\n"
                             "  Logs/\n"
                             "    a.log 5\n"
                             "  Disk.sparsebundle/\n"
                             "    bands/\n"
                             "      x.dmg 100\n"
                             "  loose.sparsebundle 30\n"
                             "  VM.utm/ package\n"
                             "  .log 1\n"
                             "  TRACE.LOG 2\n");
    const auto paths = hitPaths(scan(root));
    EXPECT_FALSE(paths.count("node"));
    EXPECT_EQ(paths.at("build"), std::vector<std::string>{"/w/build"});
    EXPECT_EQ(paths.at("caches"), (std::vector<std::string>{"/w/Logs", "/w/TRACE.LOG"}));
    EXPECT_EQ(paths.at("images"), std::vector<std::string>{"/w/loose.sparsebundle"});
    EXPECT_FALSE(paths.count("docker"));
}

TEST(PresetMatching, SingleFileRootMatchesByExtension) {
    auto root = treeFromText("/tmp/x.dmg 4096\n");
    const auto hits = scan(root);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].preset.id, "images");
    EXPECT_EQ(hits[0].nodes[0].get(), root.get());
    EXPECT_EQ(hits[0].total, 4096);
}

TEST(PresetMatching, DownloadsOnlyInsideTheHomeFolderAsAWholePath) {
    auto root = treeFromText("/home/\n"
                             "  al/\n"
                             "    Downloads/\n"
                             "      a 10\n"
                             "    deep/\n"
                             "      Downloads/\n"
                             "        b 20\n"
                             "  alice/\n"
                             "    Downloads/\n"
                             "      c 30\n");
    const auto paths = hitPaths(scan(root));
    EXPECT_EQ(paths.at("downloads"), (std::vector<std::string>{"/home/al/deep/Downloads", "/home/al/Downloads"}));

    auto elsewhere = treeFromText("/backup/\n  home/\n    al/\n      Downloads/\n        a 10\n");
    EXPECT_TRUE(scan(elsewhere).empty());
    const auto unknownHome = CleanupPreset::table("");
    EXPECT_TRUE(PresetScanner::run(root, unknownHome, true).empty()) << "no home folder holds nothing";
    EXPECT_TRUE(PresetScanner::run(root, CleanupPreset::table("/"), true).empty()) << "nor does the root folder";
    EXPECT_EQ(hitPaths(PresetScanner::run(root, CleanupPreset::table("/home/al/"), true)).at("downloads").size(), 2u);
}

TEST(PresetMatching, TrashFindsTheHomeTrashAndTheUsersTrashOnOtherDisks) {
    auto root = treeFromText("/\n"
                             "  home/\n"
                             "    al/\n"
                             "      .local/\n"
                             "        share/\n"
                             "          Trash/\n"
                             "            files/\n"
                             "              a 10\n"
                             "      music/\n"
                             "        Trash/\n"
                             "          b 20\n"
                             "  mnt/\n"
                             "    disk/\n"
                             "      .Trash-1000/\n"
                             "        c 30\n"
                             "      .Trash-1001/\n"
                             "        d 40\n");
    const auto table = CleanupPreset::table("/home/al", "", 1000);
    EXPECT_EQ(hitPaths(PresetScanner::run(root, table, true)).at("trash"),
              (std::vector<std::string>{"/mnt/disk/.Trash-1000", "/home/al/.local/share/Trash"}));
    const auto elsewhere = CleanupPreset::table("/home/al", "/data/al", 1000);
    EXPECT_EQ(hitPaths(PresetScanner::run(root, elsewhere, true)).at("trash"),
              (std::vector<std::string>{"/mnt/disk/.Trash-1000"}));
}

TEST(PresetMatching, NothingInsideSystemFoldersEverMatches) {
    auto root = treeFromText("//\n"
                             "  usr/\n"
                             "    lib/\n"
                             "      node_modules/\n"
                             "        n 10\n"
                             "    share/\n"
                             "      movie.mp4 10\n"
                             "  lib64/\n"
                             "    x.log 10\n"
                             "  var/\n"
                             "    lib/\n"
                             "      containers/\n"
                             "        c 10\n"
                             "    log/\n"
                             "      syslog.log 7\n"
                             "  opt/\n"
                             "    build/\n"
                             "  home/\n"
                             "    u/\n"
                             "      node_modules/\n"
                             "        n 3\n");
    const auto paths = hitPaths(scan(root));
    EXPECT_EQ(paths, (std::map<std::string, std::vector<std::string>>{
                         {"caches", {"/var/log/syslog.log"}},
                         {"node", {"/home/u/node_modules"}},
                     }));

    auto inside = treeFromText("/usr/src/app/\n  node_modules/\n    n 10\n  dist/\n");
    EXPECT_TRUE(scan(inside).empty());
    auto varRoot = treeFromText("/var/\n  lib/\n    a.log 1\n  tmp/\n    b.log 2\n");
    EXPECT_EQ(hitPaths(scan(varRoot)).at("caches"), std::vector<std::string>{"/var/tmp/b.log"});
}

TEST(PresetHits, KeepTheLargestFourHundredAndTotalAll) {
    std::string text = "/src/\n";
    for (int i = 0; i < 1000; ++i)
        text += "  p" + std::to_string(i) + "/\n    node_modules/\n      m " + std::to_string(1 + i % 500) + "\n";
    auto root = treeFromText(text);
    const auto hits = scan(root);
    ASSERT_EQ(hits.size(), 1u);
    const PresetHit& hit = hits[0];
    ASSERT_EQ(hit.nodes.size(), 400u);
    // Sizes 1..500 twice: the 400 largest are 500..301, two of each.
    EXPECT_EQ(hit.nodes.front()->allocated, 500);
    EXPECT_EQ(hit.nodes.back()->allocated, 301);
    EXPECT_EQ(hit.total, 2 * (500 * 501 / 2));
    // Equal sizes keep discovery order: the walk takes the last child first.
    EXPECT_EQ(hit.nodes[0]->path(), "/src/p999/node_modules");
    EXPECT_EQ(hit.nodes[1]->path(), "/src/p499/node_modules");
}

TEST(PresetHits, OrderedByTotalThenPresetOrderAndSizedByTheChosenKey) {
    auto root = treeFromText("/d/\n"
                             "  song.wav 100 alloc=900\n"
                             "  disk.iso 500 alloc=500\n"
                             "  a.log 300 alloc=300\n"
                             "  b.mkv 300 alloc=300\n");
    auto ids = [](const std::vector<PresetHit>& hits) {
        std::vector<std::string> out;
        for (const PresetHit& hit : hits) out.push_back(hit.preset.id + "=" + std::to_string(hit.total));
        return out;
    };
    EXPECT_EQ(ids(PresetScanner::run(root, presets(), true)),
              (std::vector<std::string>{"media=1200", "images=500", "caches=300"}));
    EXPECT_EQ(ids(PresetScanner::run(root, presets(), false)),
              (std::vector<std::string>{"images=500", "media=400", "caches=300"}));
    auto tie = treeFromText("/d/\n  a.log 5\n  b.iso 5\n  c.mp4 5\n");
    EXPECT_EQ(ids(PresetScanner::run(tie, presets(), true)),
              (std::vector<std::string>{"caches=5", "media=5", "images=5"}));
}

TEST(PresetHits, FreshIdsNodesThatKeepTheTreeAliveAndNoHitsForNothing) {
    auto root = treeFromText("/p/\n  q/\n    node_modules/\n      m 10\n");
    const auto first = scan(root);
    const auto second = scan(root);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_NE(first[0].id, second[0].id);
    std::shared_ptr<FileNode> held = first[0].nodes[0];
    EXPECT_TRUE(PresetScanner::run(root, {}, true).empty());
    root.reset();
    EXPECT_EQ(held->path(), "/p/q/node_modules");

    EXPECT_TRUE(scan(treeFromText("/p/\n  readme.md 10\n  src/\n    main.c 5\n")).empty());
    EXPECT_TRUE(PresetScanner::run(nullptr, presets(), true).empty());
}

} // namespace
} // namespace tallymere
