#include "core/DiskInfo.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <filesystem>
#include <fstream>
#include <map>

namespace tallymere {
namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string mountLine(int id, const std::string& device, const std::string& root, const std::string& mountPoint,
                      const std::string& fsType, const std::string& source) {
    return std::to_string(id) + " 1 " + device + " " + root + " " + mountPoint + " rw,relatime shared:1 - " + fsType +
           " " + source + " rw\n";
}

// Canned mount table, sysfs and label folder in a scratch folder; capacities from a table.
class VolumeListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sources.mountInfo = (m_scratch / "mountinfo").string();
        m_sources.labelFolder = (m_scratch / "by-label").string();
        m_sources.sysfsRoot = (m_scratch / "sys").string();
        m_sources.capacity = [this](const std::string& mountPoint) -> std::optional<VolumeCapacity> {
            const auto found = m_capacities.find(mountPoint);
            if (found == m_capacities.end()) return std::nullopt;
            return found->second;
        };
        fs::create_directories(m_scratch / "by-label");
    }

    // A block device in the fake sysfs: /sys/dev/block/M:m links to its folder under /sys/block.
    void addDevice(const std::string& number, const std::string& disk, const std::string& partition,
                   bool removable) {
        const fs::path diskFolder = m_scratch / "sys" / "block" / disk;
        writeText(diskFolder / "removable", removable ? "1\n" : "0\n");
        fs::path deviceFolder = diskFolder;
        if (!partition.empty()) {
            deviceFolder = diskFolder / partition;
            writeText(deviceFolder / "partition", "1\n");
        }
        fs::create_directories(m_scratch / "sys" / "dev" / "block");
        fs::create_symlink(deviceFolder, m_scratch / "sys" / "dev" / "block" / number);
    }
    void addLabel(const std::string& escapedLabel, const std::string& kernelName) {
        fs::create_symlink("../../" + kernelName, m_scratch / "by-label" / escapedLabel);
    }

    std::vector<VolumeInfo> volumes(const std::string& mountInfo) {
        writeText(m_sources.mountInfo, mountInfo);
        return DiskInfo::volumes(m_sources);
    }

    test::TempFolder m_temp{"tm-disks"};
    fs::path m_scratch = m_temp.path();
    VolumeSources m_sources;
    std::map<std::string, VolumeCapacity> m_capacities;
};

constexpr std::int64_t GB = 1000 * 1000 * 1000;

TEST_F(VolumeListTest, RootFirstThenLargerTotalsWithTiesInTableOrder) {
    m_capacities = {{"/", {500 * GB, 100 * GB}},
                    {"/media/al/Big", {2000 * GB, 1500 * GB}},
                    {"/data/one", {300 * GB, 1}},
                    {"/data/two", {300 * GB, 2}}};
    const auto list = volumes(mountLine(20, "8:17", "/", "/data/two", "xfs", "/dev/sdb1") +
                              mountLine(21, "8:1", "/", "/", "ext4", "/dev/sda1") +
                              mountLine(22, "8:33", "/", "/media/al/Big", "exfat", "/dev/sdc1") +
                              mountLine(23, "8:18", "/", "/data/one", "xfs", "/dev/sdb2"));
    std::vector<std::string> paths;
    for (const VolumeInfo& volume : list) paths.push_back(volume.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/", "/media/al/Big", "/data/two", "/data/one"}));
    EXPECT_TRUE(list[0].isRoot);
    EXPECT_FALSE(list[1].isRoot);
    EXPECT_EQ(list[0].name, "/");
    EXPECT_EQ(list[2].name, "two");
    EXPECT_EQ(list[1].available, 1500 * GB);
}

TEST_F(VolumeListTest, LeavesOutPseudoNetworkEmptyUnreadableAndMalformedEntries) {
    m_capacities = {{"/", {10 * GB, GB}},   {"/proc", {1, 1}},        {"/srv/nfs", {GB, GB}}, {"/run/shm", {GB, GB}},
                    {"/zero", {0, 0}},        {"/media/x", {GB, GB}}, {"/snap/core/1", {GB, 0}},
                    {"/boot/efi", {GB, GB}}};
    const auto list = volumes(mountLine(1, "8:1", "/", "/", "ext4", "/dev/sda1") +
                              mountLine(2, "0:5", "/", "/proc", "proc", "proc") +
                              mountLine(3, "0:50", "/", "/srv/nfs", "nfs4", "server:/export") +
                              mountLine(4, "0:6", "/", "/run/shm", "tmpfs", "tmpfs") +
                              mountLine(5, "8:2", "/", "/zero", "ext4", "/dev/sda2") +
                              mountLine(6, "8:3", "/", "/unreadable", "ext4", "/dev/sda3") +
                              "this line is not a mount\n" + "7 1 8:4 / /media/x rw\n" +
                              mountLine(8, "7:1", "/", "/snap/core/1", "squashfs", "/dev/loop1") +
                              mountLine(9, "8:5", "/", "/boot/efi", "vfat", "/dev/sda5"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, "/");
}

TEST_F(VolumeListTest, SameDeviceTwiceKeepsTheShortestMountPointAndAHiddenMountIsDropped) {
    addDevice("8:49", "sdd", "sdd1", false);
    addDevice("8:65", "sde", "sde1", false);
    addLabel("Hidden", "sdd1");
    addLabel("OnTop", "sde1");
    m_capacities = {{"/", {10 * GB, GB}},
                    {"/srv/data", {5 * GB, GB}},
                    {"/data", {5 * GB, GB}},
                    {"/home/al/data", {5 * GB, GB}},
                    {"/etc/hosts", {10 * GB, GB}},
                    {"/media/usb", {2 * GB, GB}}};
    const auto list = volumes(mountLine(1, "8:1", "/", "/", "ext4", "/dev/sda1") +
                              mountLine(2, "8:17", "/", "/srv/data", "ext4", "/dev/sdb1") +
                              mountLine(3, "8:17", "/", "/data", "ext4", "/dev/sdb1") +
                              mountLine(4, "8:17", "/sub", "/home/al/data", "ext4", "/dev/sdb1") +
                              mountLine(5, "8:1", "/etc/hosts", "/etc/hosts", "ext4", "/dev/sda1") +
                              mountLine(6, "8:49", "/", "/media/usb", "ext4", "/dev/sdd1") +
                              mountLine(7, "8:65", "/", "/media/usb", "vfat", "/dev/sde1"));
    std::vector<std::string> described;
    for (const VolumeInfo& volume : list) described.push_back(volume.path + "|" + volume.name);
    EXPECT_EQ(described, (std::vector<std::string>{"/|/", "/data|data", "/media/usb|OnTop"}));
}

TEST_F(VolumeListTest, AFileMountHidesNoFolderAndSubvolumesOfOneFileSystemAreOneVolume) {
    // Device 8:17 is mounted first as a single file at a short path (no capacity: not a folder),
    // then as a folder. btrfs subvolumes and ZFS datasets of one pool carry their own device numbers.
    m_capacities = {{"/", {10 * GB, GB}},       {"/srv/data", {5 * GB, GB}},  {"/home", {8 * GB, GB}},
                    {"/var/log", {8 * GB, GB}}, {"/tank", {20 * GB, GB}},     {"/tank/home", {20 * GB, GB}},
                    {"/mnt/pool", {3 * GB, GB}}};
    const auto list = volumes(mountLine(1, "8:1", "/", "/", "ext4", "/dev/sda1") +
                              mountLine(2, "8:17", "/hosts", "/h", "ext4", "/dev/sdb1") +
                              mountLine(3, "8:17", "/", "/srv/data", "ext4", "/dev/sdb1") +
                              mountLine(4, "0:40", "/@home", "/home", "btrfs", "/dev/sdc2") +
                              mountLine(5, "0:41", "/@log", "/var/log", "btrfs", "/dev/sdc2") +
                              mountLine(6, "0:50", "/", "/tank", "zfs", "tank") +
                              mountLine(7, "0:51", "/", "/tank/home", "zfs", "tank/home") +
                              mountLine(8, "0:60", "/", "/mnt/pool", "fuse.mergerfs", "pool"));
    std::vector<std::string> paths;
    for (const VolumeInfo& volume : list) paths.push_back(volume.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/", "/tank", "/home", "/srv/data", "/mnt/pool"}));
}

TEST_F(VolumeListTest, LabelsDecodedNamesAndRemovableFromTheDiskOrAMediaFolder) {
    addDevice("8:17", "sdb", "sdb1", true); // a partition of a removable disk
    addDevice("11:0", "sr0", "", true);     // a whole removable disk
    addDevice("8:33", "sdc", "sdc1", false);
    addDevice("8:49", "sdd", "sdd1", false);
    addLabel("My\\x20Photos", "sdb1");
    addLabel("Other", "sdz9");
    m_capacities = {{"/mnt/photo disk", {5 * GB, GB}}, {"/cdrom", {4 * GB, 0}},
                    {"/run/media/al/USB", {3 * GB, GB}}, {"/mediafiles", {2 * GB, GB}}};
    const auto list = volumes(mountLine(2, "8:17", "/", "/mnt/photo\\040disk", "vfat", "/dev/sdb1") +
                              mountLine(3, "11:0", "/", "/cdrom", "iso9660", "/dev/sr0") +
                              mountLine(4, "8:33", "/", "/run/media/al/USB", "exfat", "/dev/sdc1") +
                              mountLine(5, "8:49", "/", "/mediafiles", "ext4", "/dev/sdd1"));
    std::vector<std::string> described;
    for (const VolumeInfo& volume : list)
        described.push_back(volume.path + "|" + volume.name + (volume.isRemovable ? "|removable" : ""));
    EXPECT_EQ(described, (std::vector<std::string>{"/mnt/photo disk|My Photos|removable", "/cdrom|cdrom|removable",
                                                   "/run/media/al/USB|USB|removable", "/mediafiles|mediafiles"}));
}

bool lists(const std::vector<VolumeInfo>& volumes, const std::string& path) {
    return std::any_of(volumes.begin(), volumes.end(), [&](const VolumeInfo& volume) { return volume.path == path; });
}

// A real mount whose server stops: the lists read while it does not answer leave it out, the first
// holding one call on it and the later ones asking nothing more; once it answers again, it is back.
TEST(VolumeListMounts, AMountThatStopsAnsweringIsLeftOutAskedOnceAndBackWhenItAnswers) {
    test::TempFolder folder;
    const std::string mount = folder.folder("net");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) ::_exit(77);
        const std::vector<VolumeInfo> serving = DiskInfo::volumes();
        ASSERT_TRUE(lists(serving, mount));
        EXPECT_EQ(std::find_if(serving.begin(), serving.end(), [&](const VolumeInfo& v) { return v.path == mount; })->total,
                  1000 * 4096);
        fuse.stall();
        EXPECT_FALSE(lists(DiskInfo::volumes(), mount));
        EXPECT_FALSE(lists(DiskInfo::volumes(), mount));
        EXPECT_EQ(fuse.heldRequests(), 1) << "a mount that does not answer holds one call, however often it is listed";
        fuse.resume();
        bool back = false;
        for (int attempt = 0; attempt < 200 && !back; ++attempt) {
            back = lists(DiskInfo::volumes(), mount);
            if (!back) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(back);
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

// The sidebar and the monitor read their lists at the same moment: both have a mount that answers.
TEST(VolumeListMounts, TwoListsReadAtOnceBothHaveAMountThatAnswers) {
    test::TempFolder folder;
    const std::string mount = folder.folder("net");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) ::_exit(77);
        std::future<std::vector<VolumeInfo>> first = std::async(std::launch::async, [] { return DiskInfo::volumes(); });
        const std::vector<VolumeInfo> second = DiskInfo::volumes();
        EXPECT_TRUE(lists(first.get(), mount));
        EXPECT_TRUE(lists(second, mount));
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

TEST(VolumeListOfThisMachine, ListsTheRootFolderFirstWithItsCapacity) {
    const auto list = DiskInfo::volumes();
    ASSERT_FALSE(list.empty());
    EXPECT_TRUE(list[0].isRoot);
    EXPECT_EQ(list[0].path, "/");
    EXPECT_GE(list[0].total, 1);
    EXPECT_LE(list[0].available, list[0].total);
}

class FullDiskAccessTest : public ::testing::Test {
protected:
    bool accessWith(const std::string& uidLine, const std::string& capEff) {
        const fs::path path = m_folder / "status";
        writeText(path, "Name:\ttallymere\nUid:\t" + uidLine + "\nGid:\t1000\t1000\t1000\t1000\nCapInh:\t0000000000000000\n"
                        "CapPrm:\t00000000000000ff\nCapEff:\t" + capEff + "\n");
        return DiskInfo::hasFullDiskAccess(path.string());
    }

    test::TempFolder m_temp{"tm-status"};
    fs::path m_folder = m_temp.path();
};

TEST_F(FullDiskAccessTest, OnlyAReadCapabilityGrantsAccess) {
    EXPECT_FALSE(accessWith("1000\t1000\t1000\t1000", "0000000000000000"));
    EXPECT_FALSE(accessWith("1000\t1000\t1000\t1000", "0000000000000001")) << "CAP_CHOWN alone reads nothing";
    EXPECT_TRUE(accessWith("1000\t1000\t1000\t1000", "0000000000000002"));
    EXPECT_TRUE(accessWith("1000\t1000\t1000\t1000", "0000000000000004"));
    EXPECT_FALSE(accessWith("0\t0\t0\t0", "00000000a80425f9")) << "root without both capabilities";
    EXPECT_TRUE(accessWith("0\t0\t0\t0", "000001ffffffffff"));
}

TEST_F(FullDiskAccessTest, UnreadableOrMalformedStatusMeansNoAccess) {
    EXPECT_FALSE(DiskInfo::hasFullDiskAccess((m_folder / "missing").string()));
    EXPECT_FALSE(accessWith("x", "zz"));
    if (geteuid() == 0) {
        EXPECT_TRUE(DiskInfo::hasFullDiskAccess());
    }
}

} // namespace
} // namespace tallymere
