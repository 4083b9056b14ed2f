#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallymere {

// One mounted volume. Identified by its mount point.
struct VolumeInfo {
    std::string name;            // the file-system label, else the mount point's last component
    std::string path;            // the mount point (raw bytes)
    std::int64_t total = 1;      // capacity in bytes, at least 1
    std::int64_t available = 0;  // bytes an unprivileged user can still write
    bool isRoot = false;         // the mount point is exactly "/"
    bool isRemovable = false;    // removable medium; false when unknown

    const std::string& id() const { return path; }
    friend bool operator==(const VolumeInfo&, const VolumeInfo&) = default;
};

// Capacity of one mounted file system, as statvfs reports it.
struct VolumeCapacity {
    std::int64_t total = 0;
    std::int64_t available = 0;
    friend bool operator==(const VolumeCapacity&, const VolumeCapacity&) = default;
};

// Where the volume list is read from. The defaults are the running system; tests point each at
// canned files.
struct VolumeSources {
    std::string mountInfo = "/proc/self/mountinfo";
    std::string labelFolder = "/dev/disk/by-label";
    std::string sysfsRoot = "/sys";
    // Capacity of the file system mounted at a path; none when it cannot be read or the mount
    // point is not a folder. Unset means capacitiesOf, through the gate.
    std::function<std::optional<VolumeCapacity>(const std::string& mountPoint)> capacity;
};

namespace DiskInfo {

// The mounted local volumes with a capacity of at least one byte: "/" first, then the larger
// total first, equal totals in mount-table order. Pseudo and network file systems are left out
// (a dead server would block), as are memory-backed and package-image file systems, the system's
// own mounts (/boot, /efi, /snap, /var/lib), mounts hidden under a later mount at the same place,
// mounts that are not folders, and bind mounts, subvolumes and other mounts of an already listed
// file system (the shortest mount point is kept).
// A malformed mount-table line or a volume whose capacity cannot be read (or does not answer within
// the gate's bound) only shrinks the list. Synchronous; reads the sources on every call.
std::vector<VolumeInfo> volumes(const VolumeSources& sources = {});

// Capacity of the folder mounted at each path (stat, then statvfs: f_blocks and f_bavail times
// f_frsize), all asked at once through the gate; none for one that cannot be read, is not a folder
// or does not answer within the gate's bound. A mount that stopped answering holds one helper,
// however many lists ask for it: each later one is told at once.
std::vector<std::optional<VolumeCapacity>> capacitiesOf(const std::vector<std::string>& mountPoints);

// Whether this process may read every folder: CAP_DAC_READ_SEARCH or CAP_DAC_OVERRIDE among its
// effective capabilities (the user id alone grants nothing), read from the process status file on every
// call (nothing is cached). An unreadable or malformed status file means no access.
bool hasFullDiskAccess(const std::string& statusPath = "/proc/self/status");

} // namespace DiskInfo

} // namespace tallymere

template <>
struct std::hash<tallymere::VolumeInfo> {
    std::size_t operator()(const tallymere::VolumeInfo& volume) const noexcept {
        std::size_t h = std::hash<std::string>()(volume.path);
        auto mix = [&h](std::size_t value) { h ^= value + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
        mix(std::hash<std::string>()(volume.name));
        mix(std::hash<std::int64_t>()(volume.total));
        mix(std::hash<std::int64_t>()(volume.available));
        mix((volume.isRoot ? 1u : 0u) | (volume.isRemovable ? 2u : 0u));
        return h;
    }
};
