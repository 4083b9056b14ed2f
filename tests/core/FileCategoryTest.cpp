#include "core/FileCategory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tallymere {
namespace {

TEST(FileExtension, LastDotLowerCasedWithLimits) {
    EXPECT_EQ(fileExtension("archive.tar.gz"), "gz");
    EXPECT_EQ(fileExtension("Movie.MOV"), "mov");
    EXPECT_EQ(fileExtension(".bashrc"), "");
    EXPECT_EQ(fileExtension("notes."), "");
    EXPECT_EQ(fileExtension("Makefile"), "");
    EXPECT_EQ(fileExtension(""), "");
    EXPECT_EQ(fileExtension("x.abcdefghijklmnop"), "abcdefghijklmnop");
    EXPECT_EQ(fileExtension("x.abcdefghijklmnopq"), "") << "17 characters is too long";
    EXPECT_EQ(fileExtension("x.\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9")
        << "counted in characters, not bytes";
}

TEST(FileClassification, LaterListsWinAndUnknownIsData) {
    EXPECT_EQ(classifyFile("index.ts"), FileCategory::code);
    EXPECT_EQ(classifyFile("lib.jar"), FileCategory::archive);
    EXPECT_EQ(classifyFile("PHOTO.JPG"), FileCategory::image);
    EXPECT_EQ(classifyFile("Makefile"), FileCategory::data);
    EXPECT_EQ(classifyFile("x.makefile"), FileCategory::code);
    EXPECT_EQ(classifyFile(".gitignore"), FileCategory::data);
    EXPECT_EQ(classifyFile("x.app"), FileCategory::app) << "a file named .app is not a package";
    EXPECT_EQ(classifyFile("trace.db-wal"), FileCategory::cache);
    EXPECT_EQ(classifyFile("notes."), FileCategory::data);
    EXPECT_EQ(classifyFile("a.b.PnG"), FileCategory::image);
    EXPECT_EQ(classifyFile("Mod.SwiftSourceInfo"), FileCategory::code) << "the longest extension of the lists";
    EXPECT_EQ(classifyFile("x.abcdefghijklmnop"), FileCategory::data);
    EXPECT_EQ(classifyFile("x.png\xC3\xA9"), FileCategory::data);
    EXPECT_EQ(classifyFile("x.ts.bak"), FileCategory::data) << "only the last extension counts";
}

TEST(FileClassification, PackagesTakeTheirExtensionsCategory) {
    struct Case {
        const char* name;
        bool package;
        FileCategory category;
    } cases[] = {
        {"Project.xcodeproj", true, FileCategory::app},   {"Song.logicx", true, FileCategory::audio},
        {"Talk.key", true, FileCategory::document},       {"Disk.sparsebundle", true, FileCategory::diskImage},
        {"Photos Library.photoslibrary", true, FileCategory::app}, {"Build.dSYM", true, FileCategory::code},
        {"backup.zip", false, FileCategory::folder},      {"src", false, FileCategory::folder},
    };
    for (const Case& c : cases) {
        bool isPackage = !c.package;
        EXPECT_EQ(classifyDirectory(c.name, isPackage), c.category) << c.name;
        EXPECT_EQ(isPackage, c.package) << c.name;
    }
}

TEST(FileCategoryTable, TitlesSymbolsAndRawValues) {
    EXPECT_EQ(FileCategories::title(FileCategory::code), "Developer");
    EXPECT_EQ(FileCategories::title(FileCategory::cache), "Cache & Log");
    EXPECT_EQ(FileCategories::symbol(FileCategory::diskImage), "externaldrive.fill");
    EXPECT_FALSE(FileCategories::fromRaw(11).has_value());
    EXPECT_FALSE(FileCategories::fromRaw(-1).has_value());
    EXPECT_EQ(FileCategories::fromRaw(8), FileCategory::diskImage);
    EXPECT_EQ(FileCategories::selectable.size(), 10u);
    EXPECT_EQ(std::count(FileCategories::selectable.begin(), FileCategories::selectable.end(), FileCategory::folder), 0);
}

} // namespace
} // namespace tallymere
