#include "services/DuplicateFiles.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tallymere::DuplicateFiles {

namespace {

// O_NOFOLLOW: a link put in the file's place is not read through. O_NONBLOCK: a FIFO put there
// cannot hang the open.
constexpr int candidateFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
// A stretch of a long path opened at once, well below PATH_MAX.
constexpr std::size_t longPathStretch = 2048;

// Set once a kernel (or a sandbox) turned out to have no openat2.
std::atomic<bool> noOpenat2{false};

// Opens `path` relative to `folder` through no symbolic link anywhere on the way. The tree's paths
// are physical, so a link on the way is a folder swapped for one since the scan: following it
// would read a file outside the scanned folder (in the root folder, in another user's home) as a
// copy of one inside. Kernels without openat2 refuse only a link in the last place.
int openWithoutLinks(int folder, const char* path, int flags) {
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags);
        how.resolve = RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, folder, path, &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        if (errno != ENOSYS && errno != EPERM) return -1;
        noOpenat2.store(true, std::memory_order_relaxed);
    }
    return ::openat(folder, path, flags | O_NOFOLLOW);
}

// Opens `path` whatever its length: below PATH_MAX in one call, else folder by folder, a stretch
// of whole names at a time, each stretch relative to the folder the last one opened. No link on
// the way is followed.
int openAnyLength(const std::string& path, int flags) {
    if (path.size() < PATH_MAX) return openWithoutLinks(AT_FDCWD, path.c_str(), flags);
    int folder = AT_FDCWD;
    std::size_t start = 0;
    while (path.size() - start >= PATH_MAX) {
        std::size_t end = path.rfind('/', start + longPathStretch);
        if (end == std::string::npos || end <= start) end = path.find('/', start + 1);
        if (end == std::string::npos) break; // one name longer than any file system allows
        const std::string stretch = end == 0 ? std::string("/") : path.substr(start, end - start);
        const int next = openWithoutLinks(folder, stretch.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int savedErrno = errno;
        if (folder != AT_FDCWD) ::close(folder);
        if (next < 0) {
            errno = savedErrno;
            return -1;
        }
        folder = next;
        start = end + 1;
    }
    const int fd = openWithoutLinks(folder, path.c_str() + start, flags);
    const int savedErrno = errno;
    if (folder != AT_FDCWD) ::close(folder);
    errno = savedErrno;
    return fd;
}

constexpr std::uint64_t prime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t prime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t prime3 = 0x165667B19E3779F9ull;

std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
std::uint64_t round(std::uint64_t acc, std::uint64_t word) { return rotl(acc + word * prime2, 31) * prime1; }
std::uint64_t load(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}
std::uint64_t avalanche(std::uint64_t h) {
    h ^= h >> 33;
    h *= prime2;
    h ^= h >> 29;
    h *= prime3;
    return h ^ (h >> 32);
}

} // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        reset();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void Descriptor::reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

Identity identityOf(const struct stat& info) {
    return {info.st_dev, info.st_ino, static_cast<std::uint64_t>(info.st_nlink),
            static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

namespace {

Descriptor checked(Descriptor fd, std::int64_t size, Identity& identity, const Identity* expected) {
    if (!fd.isOpen()) return fd;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != size) return {};
    identity = identityOf(info);
    if (expected && !identity.isUnchanged(*expected)) return {};
    return fd;
}

} // namespace

Descriptor openCandidate(const std::string& path, std::int64_t size, Identity& identity, const Identity* expected) {
    return checked(Descriptor(openAnyLength(path, candidateFlags)), size, identity, expected);
}

bool isUnchanged(int fd, const Identity& expected) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && identityOf(info).isUnchanged(expected);
}

Descriptor openCandidateAt(int folder, const std::string& name, std::int64_t size, Identity& identity) {
    return checked(Descriptor(::openat(folder, name.c_str(), candidateFlags)), size, identity, nullptr);
}

Descriptor openFolder(const std::string& path) { return Descriptor(openAnyLength(path, O_PATH | O_DIRECTORY | O_CLOEXEC)); }

bool readExactly(int fd, std::span<unsigned char> buffer, std::int64_t offset) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(offset) +
                                                                                   static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Four independent lanes of 8-byte words, so the multiplications of one 32-byte block overlap.
void QuickDigest::add(std::span<const unsigned char> bytes) {
    const unsigned char* p = bytes.data();
    const unsigned char* const end = p + bytes.size();
    std::uint64_t a = m_state + prime1 + prime2, b = m_state + prime2, c = m_state, d = m_state - prime1;
    for (; end - p >= 32; p += 32) {
        a = round(a, load(p));
        b = round(b, load(p + 8));
        c = round(c, load(p + 16));
        d = round(d, load(p + 24));
    }
    std::uint64_t h = rotl(a, 1) + rotl(b, 7) + rotl(c, 12) + rotl(d, 18);
    for (; end - p >= 8; p += 8) h = rotl(h ^ round(0, load(p)), 27) * prime1 + prime3;
    for (; p < end; ++p) h = rotl(h ^ (*p * prime3), 11) * prime1;
    m_length += bytes.size();
    // Each piece feeds the next one's lanes, so the order and the borders of pieces count.
    m_state = avalanche(h ^ m_length);
}

std::uint64_t QuickDigest::finish() const { return avalanche(m_state + m_length * prime3); }

bool sample(int fd, std::int64_t size, std::span<unsigned char> buffer, std::uint64_t& digest) {
    const auto read = [fd](std::span<unsigned char> piece, std::int64_t offset) { return readExactly(fd, piece, offset); };
    return sampleWith(read, size, buffer, digest);
}

} // namespace tallymere::DuplicateFiles
