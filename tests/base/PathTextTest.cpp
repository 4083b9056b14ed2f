#include "base/PathText.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>

namespace tallymere {
namespace {

std::string workingFolder() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

TEST(PathTextComponents, LastComponentIgnoresTrailingSlashesAndKeepsTheRoot) {
    EXPECT_EQ(PathText::lastComponent("/a/b"), "b");
    EXPECT_EQ(PathText::lastComponent("/a/b//"), "b");
    EXPECT_EQ(PathText::lastComponent("b"), "b");
    EXPECT_EQ(PathText::lastComponent("a/b/"), "b");
    EXPECT_EQ(PathText::lastComponent("/"), "/");
    EXPECT_EQ(PathText::lastComponent("///"), "/");
    EXPECT_EQ(PathText::lastComponent(""), "");
    // Text only: "." and ".." are names like any other here.
    EXPECT_EQ(PathText::lastComponent("/a/.."), "..");
    EXPECT_EQ(PathText::lastComponent("./"), ".");
    // Raw bytes come back untouched, not repaired.
    EXPECT_EQ(PathText::lastComponent("/tmp/caf\xE9/"), "caf\xE9");
}

TEST(PathTextComponents, ParentDropsTheLastComponentAndNeverGoesAboveTheRoot) {
    EXPECT_EQ(PathText::parent("/a/b"), "/a");
    EXPECT_EQ(PathText::parent("/a/b/"), "/a");
    EXPECT_EQ(PathText::parent("/a//b"), "/a") << "repeated slashes before the last component go too";
    EXPECT_EQ(PathText::parent("/a"), "/");
    EXPECT_EQ(PathText::parent("/"), "/");
    EXPECT_EQ(PathText::parent("//"), "/");
    EXPECT_EQ(PathText::parent("a"), "");
    EXPECT_EQ(PathText::parent("a/b"), "a");
    EXPECT_EQ(PathText::parent(""), "");
    EXPECT_EQ(PathText::parent("/a/.."), "/a");
    EXPECT_EQ(PathText::parent("/\xFF\xFE/x"), "/\xFF\xFE");
}

TEST(PathTextStandardized, ResolvesDotsAndSlashesByText) {
    EXPECT_EQ(PathText::standardized("//x//y/../z/."), "/x/z");
    EXPECT_EQ(PathText::standardized("/a/b/"), "/a/b");
    EXPECT_EQ(PathText::standardized("/"), "/");
    EXPECT_EQ(PathText::standardized("/.."), "/");
    EXPECT_EQ(PathText::standardized("/a/../../b"), "/b") << "\"..\" stops at the root";
    EXPECT_EQ(PathText::standardized("/./."), "/");
    EXPECT_EQ(PathText::standardized("/a/.hidden/..x"), "/a/.hidden/..x") << "names that start with dots stay";
    EXPECT_EQ(PathText::standardized("/caf\xE9/./\xFF"), "/caf\xE9/\xFF");
}

TEST(PathTextStandardized, RelativeAndEmptyPathsStartAtTheWorkingFolder) {
    const std::string here = workingFolder();
    ASSERT_NE(here, "/") << "the tests run from a build folder";
    EXPECT_EQ(PathText::standardized(""), "") << "an empty path names nothing";
    EXPECT_EQ(PathText::standardized("."), here);
    EXPECT_EQ(PathText::standardized("a/./b/../c/"), here + "/a/c");
    EXPECT_EQ(PathText::standardized(".."), PathText::parent(here));
}

TEST(PathTextStandardized, ADeletedWorkingFolderResolvesNothing) {
    // Never "/": "." of a deleted working folder must not become the whole disk.
    EXPECT_EXIT(
        {
            char name[] = "/tmp/tm-gone-XXXXXX";
            if (!::mkdtemp(name) || ::chdir(name) != 0 || ::rmdir(name) != 0) std::_Exit(3);
            std::_Exit(PathText::standardized(".").empty() && PathText::standardized("a/b").empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace tallymere
