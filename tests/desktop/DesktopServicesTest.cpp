#include "desktop/DesktopServices.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>

namespace tallymere {
namespace {

TEST(DesktopFileUrl, KeepsEveryRawByteOfThePath) {
    const QUrl url = DesktopServices::fileUrl(std::string("/tmp/a b#?%\xFF.txt"));
    EXPECT_TRUE(url.isValid());
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toString(QUrl::FullyEncoded).toStdString(), "file:///tmp/a%20b%23%3F%25%FF.txt");
    EXPECT_EQ(DesktopServices::fileUrl("/home/al/Photos/été.jpg").toLocalFile().toStdString(),
              "/home/al/Photos/été.jpg");
}

TEST(DesktopFileUrl, ParentFolderOfAnItem) {
    EXPECT_EQ(DesktopServices::parentFolder("/home/al/x.txt"), "/home/al");
    EXPECT_EQ(DesktopServices::parentFolder("/home/al/folder/"), "/home/al");
    EXPECT_EQ(DesktopServices::parentFolder("/top"), "/");
    EXPECT_EQ(DesktopServices::parentFolder("/"), "/");
}

TEST(DesktopFailures, AnItemThatIsGoneGivesTheSystemsReason) {
    DesktopServices desktop;
    const std::string gone = "/tmp/tallymere-no-such-item-" + std::to_string(::getpid());
    EXPECT_EQ(desktop.reveal({gone}), std::optional<std::string>("No such file or directory"));
    EXPECT_EQ(desktop.open(gone), std::optional<std::string>("No such file or directory"));
    EXPECT_EQ(desktop.reveal({}), std::nullopt);
}

} // namespace
} // namespace tallymere
