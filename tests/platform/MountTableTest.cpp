#include "platform/MountTable.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace tallymere {
namespace {

TEST(MountTableParse, ReadsFieldsAfterOptionalTags) {
    const auto entries = MountTable::parse(
        "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "60 27 8:17 /data /media/al/My\\040Disk rw master:2 unbindable - vfat /dev/sdb1 rw\n"
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].mountPoint, "/");
    EXPECT_EQ(entries[0].fsType, "ext4");
    EXPECT_EQ(entries[0].major, 254u);
    EXPECT_EQ(entries[1].mountPoint, "/media/al/My Disk");
    EXPECT_EQ(entries[1].root, "/data");
    EXPECT_EQ(entries[1].source, "/dev/sdb1");
    EXPECT_EQ(entries[1].minor, 17u);
    EXPECT_TRUE(MountTable::isVirtualOrNetwork(entries[2].fsType));
    EXPECT_FALSE(MountTable::isVirtualOrNetwork("ext4"));
    EXPECT_TRUE(MountTable::isVirtualOrNetwork("fuse.sshfs"));
    EXPECT_FALSE(MountTable::isVirtualOrNetwork("fuseblk"));
    for (const char* local : {"fuse.mergerfs", "fuse.gocryptfs", "fuse.bindfs"})
        EXPECT_FALSE(MountTable::isVirtualOrNetwork(local)) << local << " is a local disk";
    for (const char* remote : {"fuse.rclone", "fuse.s3fs", "fuse.portal"})
        EXPECT_TRUE(MountTable::isVirtualOrNetwork(remote)) << remote;
}

TEST(MountTableParse, SkipsMalformedLines) {
    const auto entries = MountTable::parse(
        "garbage\n"
        "1 2 x:y / /a rw - ext4 /dev/a rw\n"
        "1 2 8:1 / relative rw - ext4 /dev/a rw\n"
        "1 2 8:1 / /ok rw no-separator ext4 /dev/a rw\n"
        "1 2 8:1 / /good rw - xfs /dev/b rw");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].mountPoint, "/good");
    EXPECT_TRUE(MountTable::read("/nonexistent/mountinfo").empty());
}

TEST(MountTableRead, ReadsATableLargerThanOneReadWhole) {
    // Thousands of lines, far past what one read returns, with the last one unterminated.
    test::TempFolder folder;
    const std::string path = folder / "mountinfo";
    {
        std::ofstream out(path);
        for (int i = 0; i < 3000; ++i) out << i << " 1 8:1 / /mnt/m" << i << " rw - ext4 /dev/sda1 rw\n";
        out << "9999 1 8:2 / /last rw - xfs /dev/sdb rw";
    }
    const auto entries = MountTable::read(path);
    ASSERT_EQ(entries.size(), 3001u);
    EXPECT_EQ(entries[1234].mountPoint, "/mnt/m1234");
    EXPECT_EQ(entries.back().mountPoint, "/last");
    EXPECT_EQ(entries.back().fsType, "xfs");
}

TEST(MountTableCurrent, IsReadAgainOnlyAfterAMountOrAnUnmount) {
    test::TempFolder folder;
    const std::string point = folder / "point";
    ASSERT_EQ(::mkdir(point.c_str(), 0755), 0);
    const auto lists = [&](const std::shared_ptr<const std::vector<MountEntry>>& table) {
        return std::any_of(table->begin(), table->end(), [&](const MountEntry& m) { return m.mountPoint == point; });
    };
    const bool ran = test::runInPrivateMounts([&] {
        const auto before = MountTable::current();
        EXPECT_EQ(MountTable::current(), before) << "nothing changed: the same table";
        EXPECT_FALSE(lists(before));
        ASSERT_EQ(::mount("none", point.c_str(), "tmpfs", 0, nullptr), 0);
        const auto mounted = MountTable::current();
        EXPECT_TRUE(lists(mounted));
        EXPECT_EQ(MountTable::current(), mounted);
        ASSERT_EQ(::umount(point.c_str()), 0);
        EXPECT_FALSE(lists(MountTable::current()));
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST(MountTableEscapes, DecodesOctalOnly) {
    EXPECT_EQ(MountTable::decodeEscapes("a\\040b\\011c\\134d"), "a b\tc\\d");
    EXPECT_EQ(MountTable::decodeEscapes("end\\04"), "end\\04");
    EXPECT_EQ(MountTable::decodeEscapes("\\999"), "\\999");
}

} // namespace
} // namespace tallymere
