#include "core/CaseFold.h"
#include "core/FilterEngine.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tallymere {
namespace {

using test::dumpTree;
using test::treeFromText;

const char* const sampleTree = R"(/data/
  movies/
    trip.mp4 5000 mtime=100
    notes.txt 10 mtime=100
  docs/
    report.pdf 300 mtime=200
    Photos/
      list.txt 20
  empty/
  denied/ denied
  Holiday_PHOTO.jpg 700 mtime=50
)";

// A folder holding files of these names (any bytes, spaces included).
std::shared_ptr<FileNode> filesNamed(std::initializer_list<std::string_view> names) {
    auto tree = std::make_shared<FileTree>();
    tree->root = tree->arena.makeNode("/r", true, FileCategory::folder);
    std::vector<FileNode*> files;
    for (std::string_view name : names) files.push_back(tree->arena.makeNode(name, false, classifyFile(name)));
    tree->arena.setChildren(*tree->root, files);
    return shareRoot(tree);
}

NodeFilter withQuery(std::string query) {
    NodeFilter filter;
    filter.query = std::move(query);
    return filter;
}

TEST(NodeFilterActivity, OnlyANarrowingSettingMakesItActive) {
    NodeFilter filter;
    EXPECT_FALSE(filter.isActive());
    filter.minSize = 0;
    EXPECT_FALSE(filter.isActive());
    filter.minSize = 1;
    EXPECT_TRUE(filter.isActive());
    EXPECT_TRUE(NodeFilter{.categories = {FileCategory::video}}.isActive());
    EXPECT_TRUE(NodeFilter{.modifiedBefore = 0.0}.isActive());
    EXPECT_TRUE(withQuery("x").isActive());
}

TEST(NodeFilterAccepts, SizeFollowsTheCallersKeyAndTheCutoffSecondFails) {
    // A sparse file: 5 MB of content, one 4 KB block on disk.
    auto root = treeFromText("/r/\n  sparse.bin 5000000 alloc=4096 mtime=1000\n");
    const FileNode& sparse = *root->children()[0];
    const NodeFilter filter{.minSize = 1000000};
    EXPECT_FALSE(filter.accepts(sparse, true));
    EXPECT_TRUE(filter.accepts(sparse, false));
    EXPECT_FALSE(NodeFilter{.modifiedBefore = 1000.0}.accepts(sparse, true));
    EXPECT_TRUE(NodeFilter{.modifiedBefore = 1001.0}.accepts(sparse, true));
}

TEST(NodeFilterAccepts, NameSearchIgnoresCaseInAnyScriptButNotAccents) {
    auto root = filesNamed({"holiday photo.jpg", "ÉTÉ Москва Σοφία.txt", "cafe.txt"});
    const FileNode& photo = *root->children()[0];
    const FileNode& mixed = *root->children()[1];
    const FileNode& cafe = *root->children()[2];
    EXPECT_TRUE(withQuery("PHOTO").accepts(photo, true));
    EXPECT_TRUE(withQuery("Day Ph").accepts(photo, true));
    EXPECT_FALSE(withQuery(" photo.jpg ").accepts(photo, true)) << "the query is not trimmed";
    EXPECT_TRUE(withQuery("été").accepts(mixed, true));
    EXPECT_TRUE(withQuery("МОСКВА").accepts(mixed, true));
    EXPECT_TRUE(withQuery("σοφία").accepts(mixed, true));
    EXPECT_FALSE(withQuery("café").accepts(cafe, true)) << "accents are not folded";
    EXPECT_FALSE(withQuery("ete").accepts(mixed, true));
}

TEST(NodeFilterAccepts, ComposedAndDecomposedAccentsFindEachOther) {
    auto root = filesNamed({"Cafe\u0301 menu.txt", "r\u00e9sum\u00e9.pdf"});
    const FileNode& decomposed = *root->children()[0];
    const FileNode& composed = *root->children()[1];
    EXPECT_TRUE(withQuery("caf\u00e9").accepts(decomposed, true));
    EXPECT_TRUE(withQuery("CAFE\u0301 M").accepts(decomposed, true));
    EXPECT_TRUE(withQuery("re\u0301sume\u0301").accepts(composed, true));
    EXPECT_FALSE(withQuery("cafe m").accepts(decomposed, true)) << "the accent still counts";
}

TEST(NodeFilterAccepts, NameSearchSeesTheRepairedName) {
    auto root = filesNamed({std::string_view("Caf\xE9.txt", 8)});
    const FileNode& odd = *root->children()[0];
    EXPECT_TRUE(withQuery("caf\xEF\xBF\xBD.TXT").accepts(odd, true));
    EXPECT_FALSE(withQuery("caf.txt").accepts(odd, true));
}

TEST(CaseFoldTable, FoldsCapitalsOfCommonScriptsToTheirSmallLetters) {
    EXPECT_EQ(CaseFold::folded("ÀÉÎÕÜÞ"), "àéîõüþ");
    EXPECT_EQ(CaseFold::folded("ĀĹŸŽ"), "āĺÿž");
    EXPECT_EQ(CaseFold::folded("ΑΒΓΆΏ"), "αβγάώ");
    EXPECT_EQ(CaseFold::folded("ЁЖЯ"), "ёжя");
    EXPECT_EQ(CaseFold::folded("ẞ ſ K Å"), "ß s k å");
    EXPECT_EQ(CaseFold::folded("ＡＢＣ"), "ａｂｃ");
    EXPECT_EQ(CaseFold::folded("ᲛᲐᲠᲢᲘ ᾈ Ὑ Ꞔ"), "მარტი ᾀ ὑ ꞔ");
    EXPECT_EQ(CaseFold::folded("×÷ 日本"), "×÷ 日本");
    // Every small letter folds to itself, so folding twice changes nothing.
    for (char32_t c = 0; c < 0x20000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        ASSERT_EQ(CaseFold::fold(CaseFold::fold(c)), CaseFold::fold(c)) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(FilterPrune, RootStaysWhenNothingPassesWithZeroSumsAndAnEmptyList) {
    auto root = treeFromText(sampleTree);
    auto copy = FilterEngine::prune(*root, {.categories = {FileCategory::archive}}, true);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->hasChildList());
    EXPECT_EQ(copy->childCount(), 0u);
    EXPECT_EQ(dumpTree(*copy), "/data/ 0 0 0/0\n");
    EXPECT_FALSE(FilterEngine::prune(*root, {.categories = {FileCategory::archive}}, true, false));
}

TEST(FilterPrune, NameSearchDropsMatchingFoldersWithoutMatchingFiles) {
    auto root = treeFromText(sampleTree);
    auto copy = FilterEngine::prune(*root, withQuery("photo"), true);
    ASSERT_TRUE(copy);
    EXPECT_EQ(dumpTree(*copy), "/data/ 700 700 1/0\n"
                               "  Holiday_PHOTO.jpg 700 700 1/0\n");
}

TEST(FilterPrune, KeepsStoredOrderAndSumsOverPassingLeavesOnly) {
    auto root = treeFromText(sampleTree);
    auto copy = FilterEngine::prune(*root, {.modifiedBefore = 150.0}, true);
    ASSERT_TRUE(copy);
    EXPECT_EQ(dumpTree(*copy), "/data/ 5730 5730 4/3\n"
                               "  movies/ 5010 5010 2/0\n"
                               "    trip.mp4 5000 5000 1/0\n"
                               "    notes.txt 10 10 1/0\n"
                               "  docs/ 20 20 1/1\n"
                               "    Photos/ 20 20 1/0\n"
                               "      list.txt 20 20 1/0\n"
                               "  Holiday_PHOTO.jpg 700 700 1/0\n");
    EXPECT_EQ(copy->children()[1]->children()[0]->children()[0]->path(), "/data/docs/Photos/list.txt");
    EXPECT_EQ(copy->children()[1]->children()[0]->children()[0]->depth, 3);
}

TEST(FilterPrune, PackageIsOneLeafJudgedByItsOwnCategoryAndSums) {
    auto root = treeFromText("/r/\n"
                             "  Tool.app/\n"
                             "    Contents/\n"
                             "      big.mp4 900\n"
                             "      lib.dylib 100\n"
                             "  clip.mp4 50\n");
    ASSERT_TRUE(root->children()[0]->isPackage);
    auto apps = FilterEngine::prune(*root, {.categories = {FileCategory::app}}, true);
    ASSERT_TRUE(apps);
    EXPECT_EQ(dumpTree(*apps), "/r/ 1000 1000 2/2\n"
                               "  Tool.app/ 1000 1000 2/1\n");
    const FileNode& package = *apps->children()[0];
    EXPECT_TRUE(package.isPackage);
    EXPECT_FALSE(package.hasChildList());

    // Video files inside the package are not reached: the package is judged as a whole.
    auto videos = FilterEngine::prune(*root, {.categories = {FileCategory::video}}, true);
    EXPECT_EQ(dumpTree(*videos), "/r/ 50 50 1/0\n"
                                 "  clip.mp4 50 50 1/0\n");
}

TEST(FilterPrune, UnreadableFolderIsAbsentUnlessItIsTheRootAndAFileRootIsCopiedOrNull) {
    auto root = treeFromText(sampleTree);
    const auto sized = FilterEngine::prune(*root, {.minSize = 1}, true);
    for (const FileNode* child : sized->children()) EXPECT_NE(child->name(), "denied");
    auto lockedCopy = FilterEngine::prune(*treeFromText("/locked/ denied\n"), {.minSize = 1}, true);
    ASSERT_TRUE(lockedCopy);
    EXPECT_TRUE(lockedCopy->isDenied);

    auto file = treeFromText("/tmp/x.mp4 10 mtime=5\n");
    EXPECT_FALSE(FilterEngine::prune(*file, {.minSize = 11}, true));
    auto copy = FilterEngine::prune(*file, {.minSize = 10}, true);
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.get(), file.get());
    EXPECT_EQ(copy->path(), "/tmp/x.mp4");
}

TEST(FilterPrune, CopySharesNoNodeAndOutlivesTheSource) {
    auto root = treeFromText(sampleTree);
    std::unordered_set<const FileNode*> source;
    root->walk([&](const FileNode& node) {
        source.insert(&node);
        return true;
    });
    auto copy = FilterEngine::prune(*root, {.minSize = 1}, false);
    const std::string before = dumpTree(*copy);
    copy->walk([&](const FileNode& node) {
        EXPECT_FALSE(source.count(&node)) << node.path();
        return true;
    });
    root.reset();
    EXPECT_EQ(dumpTree(*copy), before);
    EXPECT_EQ(copy->children()[0]->children()[0]->path(), "/data/movies/trip.mp4");
}

} // namespace
} // namespace tallymere
