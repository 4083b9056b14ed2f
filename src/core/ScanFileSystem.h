#pragma once
#include "platform/MountTable.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

// The scanner's file-system calls: examining one entry, opening a folder below the scan root, and
// the boundaries (virtual and network file systems) a scan never crosses. Private to DiskScanner.
namespace tallymere::ScanFileSystem {

// What the scanner keeps of one directory entry.
struct EntryInfo {
    mode_t type = 0; // the S_IFMT bits
    std::uint64_t links = 0;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = 0;
    std::int64_t allocated = 0; // blocks of 512 bytes
    double modified = 0;
    double created = 0; // 0 when the file system keeps no birth time
};

// Which optional kernel calls turned out to be missing; shared by the threads of one scan.
struct Capabilities {
    std::atomic<bool> noStatx{false};
    std::atomic<bool> noOpenat2{false};
};

// Examines `name` relative to `dirFd` without following a final symbolic link. statx, not fstatat,
// because only statx reports the birth time; fstatat when the kernel lacks statx.
bool examine(int dirFd, const char* name, EntryInfo& info, Capabilities& capabilities);

// Opens the folder at `relative` (raw bytes, "" for the root itself) below the open root folder,
// following no symbolic link on the way (a folder swapped for a link mid-scan is not entered).
// Paths longer than the kernel's limit are opened a stretch at a time. -1 with errno on failure.
// `crossed` is set when the path may pass into another mount (always where the kernel cannot
// tell), so the caller can look at what is mounted there now.
int openFolder(int rootFd, std::string_view relative, Capabilities& capabilities, bool& crossed);

// Opens the folder `name` inside the open folder `dirFd`, never through a link; `crossed` as above.
int openChild(int dirFd, const char* name, Capabilities& capabilities, bool& crossed);

// Whether `device`, which the mount table did not list when the scan began, is now mounted as a
// virtual or network file system; reads the table as it is now.
bool isVirtualOrNetworkNow(dev_t device);

// The mounts a scan of `rootPath` (on device `rootDevice`) must not enter: the devices of every
// virtual or network file system except the root's own, and those mount points that lie below
// the root (so a dead network mount is recognised by its path, before anything waits on it).
// A handful of values kept sorted: a lookup is a short binary search, and making one builds no
// hash table (whose code and prime table a scan would otherwise keep resident for a few entries).
template <class T>
class SmallSet {
public:
    void insert(T value) {
        const auto at = std::lower_bound(m_values.begin(), m_values.end(), value);
        if (at == m_values.end() || *at != value) m_values.insert(at, std::move(value));
    }
    template <class Key>
    bool contains(const Key& key) const {
        return std::binary_search(m_values.begin(), m_values.end(), key, std::less<>());
    }
    std::size_t size() const { return m_values.size(); }
    bool empty() const { return m_values.empty(); }
    auto begin() const { return m_values.begin(); }
    auto end() const { return m_values.end(); }
    const std::vector<T>& values() const { return m_values; }

private:
    std::vector<T> m_values;
};

struct Boundaries {
    SmallSet<dev_t> devices;
    SmallSet<std::string> mountPoints;
};
Boundaries boundaries(const std::vector<MountEntry>& mounts, std::string_view rootPath, dev_t rootDevice);

// The mount points below the root that a scan may meet, each looked at (a stat) once before the scan
// begins, all at once, with a bounded wait: a mount whose server stopped answering would hold a
// look at it for ever.
struct MountPoints {
    // The files mounted onto a name below the root (a file bind mount shows one file under a second
    // name, with one link): device and inode of each, as the scan will meet them, so each enters the
    // tree once like a file with two links.
    std::vector<std::pair<dev_t, ino_t>> files;
    // The mount points that did not answer in time (or whose look at them is still outstanding from
    // an earlier scan): the scan never looks at them again, and counts each as a folder not read.
    SmallSet<std::string> unanswered;
    // The folders mounted on a file system that may stop answering (FUSE) that answered the look,
    // as it found them: never looked at from the folder above them, and read, with all below them,
    // by gate helpers.
    std::vector<std::pair<std::string, EntryInfo>> remote;
};

// What a look through the gate found, as the scanner keeps it (no birth time).
EntryInfo entryInfoOf(const struct stat& info);

// Looks at the mount points below `rootPath` that the scan may enter: those the boundaries or the
// options leave out, or that lie below one left out, are not looked at. Without such a mount point
// nothing is looked at and nothing waits. The looks go through the gate, all at once: one on a
// mount that may stop answering is made by a helper process and waited for at most its bound, and
// a stuck mount holds one helper however many scans meet it.
MountPoints lookAtMountPoints(const std::vector<MountEntry>& mounts, std::string_view rootPath,
                              const Boundaries& boundaries, const std::unordered_set<std::string>& excludedPaths);

// The file systems whose folders can be met more than once in one scan: a device the mount table
// lists more than once (a bind mount shows part of it a second time), and, once there is such a
// device, every device the table does not list at all (a file system that gives its parts device
// numbers of their own, whose mounts cannot be told apart). Without a mount table, every device.
struct RepeatedMounts {
    std::vector<dev_t> repeated;
    std::vector<dev_t> listed;
    bool everyDevice = false;

    bool tracksAny() const { return everyDevice || !repeated.empty(); }
    bool tracks(dev_t device) const {
        if (everyDevice) return true;
        if (repeated.empty()) return false;
        for (dev_t known : repeated)
            if (known == device) return true;
        for (dev_t known : listed)
            if (known == device) return false;
        return true;
    }
};
RepeatedMounts repeatedMounts(const std::vector<MountEntry>& mounts);

} // namespace tallymere::ScanFileSystem
