#include "platform/MountTable.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <pthread.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <atomic>
#include <mutex>

namespace tallymere::MountTable {
namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool parseDevice(std::string_view field, unsigned& major, unsigned& minor) {
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == field.size()) return false;
    auto number = [](std::string_view digits, unsigned& out) {
        if (digits.empty() || digits.size() > 9) return false;
        unsigned value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        out = value;
        return true;
    };
    return number(field.substr(0, colon), major) && number(field.substr(colon + 1), minor);
}

} // namespace

std::string decodeEscapes(std::string_view field) {
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
            octal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value < 256) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<MountEntry> parse(std::string_view text) {
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;

        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const std::vector<std::string_view> fields = splitFields(line);
        if (fields.size() < 10) continue;
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") ++separator;
        if (separator + 2 >= fields.size()) continue;
        MountEntry entry;
        if (!parseDevice(fields[2], entry.major, entry.minor)) continue;
        entry.root = decodeEscapes(fields[3]);
        entry.mountPoint = decodeEscapes(fields[4]);
        if (entry.mountPoint.empty() || entry.mountPoint.front() != '/') continue;
        entry.fsType = std::string(fields[separator + 1]);
        entry.source = decodeEscapes(fields[separator + 2]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

// Read with plain system calls: a file stream would bring the whole locale and stream machinery
// into every scan, which touches no other part of it.
std::vector<MountEntry> read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    std::size_t used = 0;
    for (;;) {
        if (text.size() - used < 4096) text.resize(text.size() + 16384);
        const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(used);
    return parse(text);
}

std::shared_ptr<const std::vector<MountEntry>> current() {
    // The table, and a descriptor of it open for its whole life: a poll of such a descriptor reports
    // POLLPRI once for each time anything was mounted or unmounted in its namespace since its last
    // poll (or its opening). A child forked from this process, whose descriptor it shares, and a
    // process in another namespace than the table's, open their own.
    struct Cache {
        std::mutex lock;
        int watch = -1;
        std::uint64_t rootMount = 0;
        std::shared_ptr<const std::vector<MountEntry>> table;
    };
    static Cache cache;
    static std::atomic<bool> forked{false};
    static const bool watchesForks = ::pthread_atfork(nullptr, nullptr, [] { forked = true; }) == 0;
    constexpr const char* path = "/proc/self/mountinfo";
    // A namespace of its own (unshare, setns) numbers every mount afresh, "/" included.
    struct statx root {};
    const std::uint64_t rootMount =
        ::statx(AT_FDCWD, "/", AT_STATX_DONT_SYNC, STATX_MNT_ID, &root) == 0 && (root.stx_mask & STATX_MNT_ID) ? root.stx_mnt_id : 0;
    std::lock_guard guard(cache.lock);
    bool stale = !cache.table || cache.watch < 0 || forked.exchange(false) || !watchesForks || rootMount != cache.rootMount;
    if (!stale) {
        pollfd changed{.fd = cache.watch, .events = POLLPRI, .revents = 0};
        stale = ::poll(&changed, 1, 0) < 0 || (changed.revents & (POLLPRI | POLLERR | POLLNVAL)) != 0;
    }
    if (!stale) return cache.table;
    if (cache.watch >= 0) ::close(cache.watch);
    // Opened before the table is read, so a change made while it is read marks the new descriptor.
    cache.watch = ::open(path, O_RDONLY | O_CLOEXEC);
    cache.rootMount = rootMount;
    cache.table = std::make_shared<const std::vector<MountEntry>>(read(path));
    return cache.table;
}

OwnedFd watch() {
    return OwnedFd(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
}

std::string mountPointAtOrBelow(std::string_view path) {
    struct Sorted {
        std::mutex lock;
        std::shared_ptr<const std::vector<MountEntry>> table; // held, so a new table is never taken for it
        std::shared_ptr<const std::vector<std::string>> points;
    };
    static Sorted sorted;
    const std::shared_ptr<const std::vector<MountEntry>> table = current();
    std::shared_ptr<const std::vector<std::string>> points;
    {
        std::lock_guard guard(sorted.lock);
        if (sorted.table != table) {
            std::vector<std::string> all;
            all.reserve(table->size());
            for (const MountEntry& entry : *table) all.push_back(entry.mountPoint);
            std::sort(all.begin(), all.end());
            sorted.points = std::make_shared<const std::vector<std::string>>(std::move(all));
            sorted.table = table;
        }
        points = sorted.points;
    }
    if (path.empty()) return {};
    const auto at = std::lower_bound(points->begin(), points->end(), path);
    if (at != points->end() && *at == path) return *at;
    // Every path below `path` starts with it and a "/", and sorts in one run from there.
    const std::string below = path == "/" ? std::string("/") : std::string(path) + '/';
    const auto first = std::lower_bound(at, points->end(), below);
    if (first != points->end() && first->starts_with(below)) return *first;
    return {};
}

namespace {

// What the program knows of a file system type: whether its calls answer as long as the system does
// (a disk, memory, the kernel's own), and whether a scan stays out of it (the kernel's pseudo file
// systems, a container's overlay, and whatever reaches a server over the network).
struct KnownType {
    std::string_view name;
    bool answers;
    bool leftOut;
};

constexpr KnownType knownTypes[] = {
    // Disks and memory.
    {"ext2", true, false}, {"ext3", true, false}, {"ext4", true, false}, {"xfs", true, false},
    {"btrfs", true, false}, {"vfat", true, false}, {"msdos", true, false}, {"exfat", true, false},
    {"ntfs", true, false}, {"ntfs3", true, false}, {"f2fs", true, false}, {"jfs", true, false},
    {"reiserfs", true, false}, {"nilfs2", true, false}, {"hfs", true, false}, {"hfsplus", true, false},
    {"udf", true, false}, {"iso9660", true, false}, {"squashfs", true, false}, {"erofs", true, false},
    {"zfs", true, false}, {"bcachefs", true, false}, {"minix", true, false}, {"romfs", true, false},
    {"cramfs", true, false}, {"ufs", true, false}, {"tmpfs", true, false}, {"ramfs", true, false},
    {"devfs", true, false},
    // The kernel's own, and a container's file system.
    {"proc", true, true}, {"sysfs", true, true}, {"devtmpfs", true, true}, {"devpts", true, true},
    {"cgroup", true, true}, {"cgroup2", true, true}, {"securityfs", true, true}, {"debugfs", true, true},
    {"tracefs", true, true}, {"configfs", true, true}, {"fusectl", true, true}, {"pstore", true, true},
    {"bpf", true, true}, {"mqueue", true, true}, {"hugetlbfs", true, true}, {"binfmt_misc", true, true},
    {"efivarfs", true, true}, {"nsfs", true, true}, {"rpc_pipefs", true, true}, {"selinuxfs", true, true},
    {"overlay", true, true},
    // What reaches a server, and the automounter, which may mount one at any look.
    {"autofs", false, true}, {"nfs", false, true}, {"nfs4", false, true}, {"cifs", false, true},
    {"smb3", false, true}, {"smbfs", false, true}, {"sshfs", false, true}, {"9p", false, true},
    {"afs", false, true}, {"ceph", false, true}, {"glusterfs", false, true}, {"lustre", false, true},
    {"davfs", false, true},
};

// FUSE file systems are named fuse.<program>. Those that reach a server (or, like the document
// portal, hold nothing of their own) are left alone; local ones (mergerfs, gocryptfs, bindfs, and
// disks through "fuseblk") are disks like any other, though their server can stop like any other.
constexpr std::string_view remoteFuse[] = {
    "sshfs",     "rclone",    "s3fs",      "gcsfuse",  "goofys",    "curlftpfs", "gvfsd-fuse", "glusterfs",
    "ceph-fuse", "smbnetfs",  "httpdirfs", "blobfuse", "blobfuse2", "juicefs",   "kbfsfuse",   "onedriver",
    "google-drive-ocamlfuse", "portal", "lxcfs", "davfs2", "mfs", "ipfs",
};

const KnownType* knownType(std::string_view fsType) {
    for (const KnownType& type : knownTypes)
        if (type.name == fsType) return &type;
    return nullptr;
}

} // namespace

bool isVirtualOrNetwork(std::string_view fsType) {
    if (const KnownType* type = knownType(fsType)) return type->leftOut;
    if (!fsType.starts_with("fuse.")) return false;
    const std::string_view program = fsType.substr(5);
    return std::find(std::begin(remoteFuse), std::end(remoteFuse), program) != std::end(remoteFuse);
}

bool mayNotAnswer(std::string_view fsType) {
    const KnownType* type = knownType(fsType);
    return !type || !type->answers;
}

std::uint64_t deviceOf(const MountEntry& entry) {
    return static_cast<std::uint64_t>(makedev(entry.major, entry.minor));
}

} // namespace tallymere::MountTable
