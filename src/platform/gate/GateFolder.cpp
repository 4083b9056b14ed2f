#include "platform/gate/GateFolder.h"

#include "platform/DirectoryRecord.h"
#include "platform/PathGate.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tallymere::gate {
namespace {

// An entry as it travels: these fields, then its name.
struct Packed {
    std::uint32_t nameLength;
    std::int32_t error;
    std::uint32_t mode;
    std::uint32_t type;
    std::uint64_t links, device, inode;
    std::int64_t size, allocated;
    double modified, created;
};

// A part goes out after this many entries or this long, whichever comes first: often enough that
// the program sees a large folder on a slow mount move, seldom enough to cost nothing.
constexpr std::size_t partEntries = 1024;
constexpr auto partTime = std::chrono::milliseconds(100);

void look(int folder, const char* name, Packed& packed) {
    struct statx sx;
    constexpr unsigned mask = STATX_TYPE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_BTIME;
    if (::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &sx) == 0) {
        packed.mode = sx.stx_mode & S_IFMT;
        packed.links = sx.stx_nlink;
        packed.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        packed.inode = sx.stx_ino;
        packed.size = static_cast<std::int64_t>(sx.stx_size);
        packed.allocated = static_cast<std::int64_t>(sx.stx_blocks) * 512;
        packed.modified = static_cast<double>(sx.stx_mtime.tv_sec);
        packed.created = (sx.stx_mask & STATX_BTIME) ? static_cast<double>(sx.stx_btime.tv_sec) : 0.0;
        return;
    }
    struct stat st {};
    if (errno != ENOSYS || ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        packed.error = errno;
        return;
    }
    packed.mode = st.st_mode & S_IFMT;
    packed.links = st.st_nlink;
    packed.device = st.st_dev;
    packed.inode = st.st_ino;
    packed.size = st.st_size;
    packed.allocated = static_cast<std::int64_t>(st.st_blocks) * 512;
    packed.modified = static_cast<double>(st.st_mtim.tv_sec);
}

} // namespace

int openFolderPlainly(const std::string& path) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    open_how how{};
    how.flags = flags;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    return ::open(path.c_str(), flags);
}

Reply readFolderAt(int fd, std::uint64_t flags, const SendPart* send) {
    Reply reply;
    std::size_t inPart = 0;
    auto partStarted = std::chrono::steady_clock::now();
    alignas(8) char records[32768];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, fd, records, sizeof records);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reply.error = errno;
            break;
        }
        if (got == 0) break;
        for (long offset = 0; offset < got;) {
            const auto* record = reinterpret_cast<const DirectoryRecord*>(records + offset);
            offset += record->length;
            const char* name = record->name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            if (name[0] == '.' && !(flags & withHidden)) continue;
            const unsigned char type = record->type;
            if (type == DT_FIFO || type == DT_CHR || type == DT_BLK || type == DT_SOCK) continue;
            Packed packed{};
            packed.nameLength = static_cast<std::uint32_t>(std::strlen(name));
            packed.type = type;
            look(fd, name, packed);
            reply.data.append(reinterpret_cast<const char*>(&packed), sizeof packed);
            reply.data.append(name, packed.nameLength);
            ++inPart;
        }
        if (send && (inPart >= partEntries || std::chrono::steady_clock::now() - partStarted >= partTime)) {
            reply.partial = true;
            if (!(*send)(reply)) break;
            reply = {};
            inPart = 0;
            partStarted = std::chrono::steady_clock::now();
        }
    }
    ::close(fd);
    reply.partial = false;
    return reply;
}

bool unpackEntries(const std::string& data, std::vector<PathGate::FolderEntry>& entries) {
    std::size_t at = 0;
    while (at < data.size()) {
        Packed packed;
        if (data.size() - at < sizeof packed) return false;
        std::memcpy(&packed, data.data() + at, sizeof packed);
        at += sizeof packed;
        if (data.size() - at < packed.nameLength) return false;
        PathGate::FolderEntry& entry = entries.emplace_back();
        entry.name.assign(data, at, packed.nameLength);
        at += packed.nameLength;
        entry.type = static_cast<unsigned char>(packed.type);
        entry.error = packed.error;
        entry.mode = static_cast<mode_t>(packed.mode);
        entry.links = packed.links;
        entry.device = packed.device;
        entry.inode = packed.inode;
        entry.size = packed.size;
        entry.allocated = packed.allocated;
        entry.modified = packed.modified;
        entry.created = packed.created;
    }
    return true;
}

} // namespace tallymere::gate
