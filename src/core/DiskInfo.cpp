#include "core/DiskInfo.h"

#include "base/PathText.h"
#include "platform/PathGate.h"
#include "platform/MountTable.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <sstream>

namespace tallymere::DiskInfo {
namespace {

// File systems that hold no disk of their own: memory-backed or read-only package images.
bool isMemoryOrImage(std::string_view fsType) {
    static constexpr std::array<std::string_view, 4> types = {"tmpfs", "ramfs", "squashfs", "erofs"};
    return std::find(types.begin(), types.end(), fsType) != types.end();
}

bool isInside(std::string_view path, std::string_view folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// The system's own mounts (boot and firmware partitions, package images, container stores): not
// places a user browses.
bool isHiddenLocation(std::string_view mountPoint) {
    static constexpr std::array<std::string_view, 4> folders = {"/boot", "/efi", "/snap", "/var/lib"};
    return std::any_of(folders.begin(), folders.end(), [&](std::string_view f) { return isInside(mountPoint, f); });
}

bool isRemovableLocation(std::string_view mountPoint) {
    static constexpr std::array<std::string_view, 3> folders = {"/media", "/run/media", "/mnt"};
    return std::any_of(folders.begin(), folders.end(), [&](std::string_view f) {
        return mountPoint != f && isInside(mountPoint, f);
    });
}

std::optional<std::string> readSmallFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string linkTarget(const std::string& path) {
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string deviceFolder(const VolumeSources& sources, const MountEntry& mount) {
    return sources.sysfsRoot + "/dev/block/" + std::to_string(mount.major) + ":" + std::to_string(mount.minor);
}

// The kernel's name of a block device ("sda1", "dm-0"), from the sysfs link; empty when unknown.
std::string kernelName(const VolumeSources& sources, const MountEntry& mount) {
    const std::string target = linkTarget(deviceFolder(sources, mount));
    return target.empty() ? std::string() : PathText::lastComponent(target);
}

// Device names in /dev/disk/by-label escape unsafe bytes as \xHH.
std::string decodeLabel(std::string_view name) {
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hexValue(name[i + 2]) >= 0 &&
            hexValue(name[i + 3]) >= 0) {
            out.push_back(static_cast<char>(hexValue(name[i + 2]) * 16 + hexValue(name[i + 3])));
            i += 3;
            continue;
        }
        out.push_back(name[i]);
    }
    return out;
}

struct LabelEntry {
    std::string label;
    std::string targetName; // last component of the link target
    std::optional<dev_t> device;
};

std::vector<LabelEntry> readLabels(const std::string& folder) {
    std::vector<LabelEntry> labels;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return labels;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        LabelEntry label{.label = decodeLabel(name), .targetName = PathText::lastComponent(linkTarget(path)), .device = {}};
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) label.device = info.st_rdev;
        labels.push_back(std::move(label));
    }
    closedir(dir);
    std::sort(labels.begin(), labels.end(), [](const LabelEntry& a, const LabelEntry& b) { return a.label < b.label; });
    return labels;
}

std::string labelOf(const std::vector<LabelEntry>& labels, const VolumeSources& sources, const MountEntry& mount) {
    const dev_t device = makedev(mount.major, mount.minor);
    for (const LabelEntry& label : labels)
        if (label.device && *label.device == device) return label.label;
    const std::string kernel = kernelName(sources, mount);
    if (kernel.empty()) return {};
    for (const LabelEntry& label : labels)
        if (label.targetName == kernel) return label.label;
    return {};
}

// The removable flag lives on the whole disk; a partition's sysfs folder sits inside its disk's.
bool sysfsSaysRemovable(const VolumeSources& sources, const MountEntry& mount) {
    const std::string folder = deviceFolder(sources, mount);
    struct stat info {};
    const bool isPartition = stat((folder + "/partition").c_str(), &info) == 0;
    const auto flag = readSmallFile(folder + (isPartition ? "/../removable" : "/removable"));
    return flag && !flag->empty() && flag->front() == '1';
}

// What makes two mounts one file system: the source of a btrfs (every subvolume mounts the same
// device), the pool of a ZFS dataset ("tank/home" is in "tank"), else the device number.
std::string fileSystemIdentity(const MountEntry& mount) {
    if (mount.fsType == "btrfs" && !mount.source.empty()) return "btrfs " + mount.source;
    if (mount.fsType == "zfs" && !mount.source.empty()) return "zfs " + mount.source.substr(0, mount.source.find('/'));
    return "dev " + std::to_string(mount.major) + ":" + std::to_string(mount.minor);
}

} // namespace

std::vector<VolumeInfo> volumes(const VolumeSources& sources) {
    const std::vector<MountEntry> table = MountTable::read(sources.mountInfo);

    // A mount over another at the same place hides it: only the last one there is reachable.
    std::map<std::string_view, std::size_t> lastAtMountPoint;
    for (std::size_t i = 0; i < table.size(); ++i) lastAtMountPoint[table[i].mountPoint] = i;

    // One entry per file system: bind mounts, repeated mounts and the subvolumes of one btrfs or
    // the datasets of one ZFS pool show the same space again. Only folders with a capacity count,
    // so a single file mounted at a short path (a container's /etc/hosts) hides no folder mount.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const MountEntry& mount = table[i];
        if (lastAtMountPoint[mount.mountPoint] != i) continue;
        const bool isRoot = mount.mountPoint == "/";
        if (!isRoot && (MountTable::isVirtualOrNetwork(mount.fsType) || isMemoryOrImage(mount.fsType) ||
                        isHiddenLocation(mount.mountPoint)))
            continue;
        candidates.push_back(i);
    }
    std::vector<std::optional<VolumeCapacity>> capacities(table.size());
    if (sources.capacity) {
        for (std::size_t i : candidates) capacities[i] = sources.capacity(table[i].mountPoint);
    } else {
        std::vector<std::string> mountPoints;
        for (std::size_t i : candidates) mountPoints.push_back(table[i].mountPoint);
        const std::vector<std::optional<VolumeCapacity>> answers = capacitiesOf(mountPoints);
        for (std::size_t k = 0; k < candidates.size(); ++k) capacities[candidates[k]] = answers[k];
    }

    std::map<std::string, std::size_t> bestByFileSystem;
    for (std::size_t i : candidates) {
        const MountEntry& mount = table[i];
        if (!capacities[i] || capacities[i]->total < 1) continue;
        const auto [slot, inserted] = bestByFileSystem.emplace(fileSystemIdentity(mount), i);
        if (!inserted && mount.mountPoint.size() < table[slot->second].mountPoint.size()) slot->second = i;
    }
    std::vector<std::size_t> chosen;
    for (const auto& [identity, index] : bestByFileSystem) chosen.push_back(index);
    std::sort(chosen.begin(), chosen.end());

    const std::vector<LabelEntry> labels = readLabels(sources.labelFolder);
    std::vector<VolumeInfo> result;
    for (std::size_t index : chosen) {
        const MountEntry& mount = table[index];
        const std::optional<VolumeCapacity>& capacity = capacities[index];
        std::string name = labelOf(labels, sources, mount);
        if (name.empty()) name = PathText::lastComponent(mount.mountPoint);
        result.push_back({.name = std::move(name),
                          .path = mount.mountPoint,
                          .total = capacity->total,
                          .available = std::max<std::int64_t>(capacity->available, 0),
                          .isRoot = mount.mountPoint == "/",
                          .isRemovable = sysfsSaysRemovable(sources, mount) || isRemovableLocation(mount.mountPoint)});
    }
    std::stable_sort(result.begin(), result.end(), [](const VolumeInfo& a, const VolumeInfo& b) {
        if (a.isRoot != b.isRoot) return a.isRoot;
        return a.total > b.total;
    });
    return result;
}

std::vector<std::optional<VolumeCapacity>> capacitiesOf(const std::vector<std::string>& mountPoints) {
    // A single file mounted over another (a container's /etc/hosts) is no volume.
    const std::vector<PathGate::Status> kinds = PathGate::statEach(mountPoints);
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < mountPoints.size(); ++i)
        if (kinds[i].error == 0 && S_ISDIR(kinds[i].info.st_mode)) folders.push_back(mountPoints[i]);
    const std::vector<PathGate::Space> spaces = PathGate::statVfsEach(folders);
    std::vector<std::optional<VolumeCapacity>> capacities(mountPoints.size());
    for (std::size_t i = 0, k = 0; i < mountPoints.size(); ++i) {
        if (kinds[i].error != 0 || !S_ISDIR(kinds[i].info.st_mode)) continue;
        const PathGate::Space& space = spaces[k++];
        if (space.error != 0) continue;
        const auto unit = static_cast<std::int64_t>(space.info.f_frsize ? space.info.f_frsize : space.info.f_bsize);
        capacities[i] = VolumeCapacity{static_cast<std::int64_t>(space.info.f_blocks) * unit,
                                       static_cast<std::int64_t>(space.info.f_bavail) * unit};
    }
    return capacities;
}

bool hasFullDiskAccess(const std::string& statusPath) {
    // The capabilities alone decide: a root process whose bounding set dropped them reads no more
    // than anyone else.
    const std::optional<std::string> status = readSmallFile(statusPath);
    if (!status) return false;
    std::istringstream lines(*status);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key != "CapEff:") continue;
        std::string hex;
        fields >> hex;
        if (hex.empty() || hex.size() > 16 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        const unsigned long long bits = std::stoull(hex, nullptr, 16);
        constexpr unsigned long long dacOverride = 1ull << 1;
        constexpr unsigned long long dacReadSearch = 1ull << 2;
        return (bits & (dacOverride | dacReadSearch)) != 0;
    }
    return false;
}

} // namespace tallymere::DiskInfo
