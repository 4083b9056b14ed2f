#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// How the duplicate search reaches a candidate's bytes: opening it as the file the scan saw, at
// any path length, reading exact spans, and the quick digest that sorts candidates by a sample.
// Private to the duplicate search.
namespace tallymere::DuplicateFiles {

// Which file a path led to. Two paths with one device and inode are one file (a hard link, or the
// same file seen again through a bind mount), never two copies.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t links = 0; // names the file has on its file system
    // Its status change time in nanoseconds: every write moves it, and no program can set it back,
    // so a file whose time still reads the same was not written in between.
    std::int64_t changed = 0;

    bool isSameFile(const Identity& other) const { return device == other.device && inode == other.inode; }
    bool isUnchanged(const Identity& other) const { return isSameFile(other) && changed == other.changed; }
};

// What a file's status says of it.
Identity identityOf(const struct stat& info);

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset();

private:
    int m_fd = -1;
};

// The file at `path`, when it is still a regular file of `size` bytes; a closed descriptor
// otherwise. A link put in the file's place, or in a folder's place on the way to it, is not
// followed (the tree's paths are physical), and a FIFO cannot hang the open. Paths longer than the kernel takes at once are opened a stretch of folders at a time.
// `identity` receives the file's identity; with `expected`, a file other than that one, or that one
// changed since, is refused.
Descriptor openCandidate(const std::string& path, std::int64_t size, Identity& identity,
                         const Identity* expected = nullptr);
// True while the open file is still as `expected` saw it: nothing written to it since.
bool isUnchanged(int fd, const Identity& expected);
// The same for the entry `name` of an open folder.
Descriptor openCandidateAt(int folder, const std::string& name, std::int64_t size, Identity& identity);

// The folder at `path`, any length, for opening its entries; a closed descriptor when it cannot
// be reached without following a link.
Descriptor openFolder(const std::string& path);

// Reads exactly `buffer.size()` bytes at `offset`. False on a read error or an early end of file.
bool readExactly(int fd, std::span<unsigned char> buffer, std::int64_t offset);

// A fast 64-bit digest of bytes, for telling apart contents that differ, never for proving two
// equal: only the byte-for-byte comparison does that.
class QuickDigest {
public:
    void add(std::span<const unsigned char> bytes);
    std::uint64_t finish() const;

private:
    std::uint64_t m_state = 0x6A09E667F3BCC908ull;
    std::uint64_t m_length = 0;
};

// The sample of a file: its size as 8 little-endian bytes, its first 64 KiB (all of it when
// smaller) and, above 128 KiB, its last 64 KiB, through QuickDigest, read in pieces of
// sampleBufferBytes. The pieces' borders are part of the digest, so every sample of a search is
// read in pieces of one size.
inline constexpr std::int64_t sampleSpan = 65536;
// A quarter of a span: each sampling thread holds one, and beyond 16 KiB larger reads save little.
inline constexpr std::size_t sampleBufferBytes = 16384;

// The sample digest of an open candidate; false when a read fails. `buffer` holds
// sampleBufferBytes.
bool sample(int fd, std::int64_t size, std::span<unsigned char> buffer, std::uint64_t& digest);
// The same of bytes that `read(piece, offset)` fills, true when it filled the whole piece.
template <class Read>
bool sampleWith(Read&& read, std::int64_t size, std::span<unsigned char> buffer, std::uint64_t& digest) {
    if (size <= 0 || buffer.size() != sampleBufferBytes) return false;
    unsigned char sizeBytes[8];
    for (int i = 0; i < 8; ++i) sizeBytes[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(size) >> (8 * i));
    QuickDigest quick;
    quick.add(sizeBytes);
    const auto feed = [&](std::int64_t from, std::int64_t length) {
        for (std::int64_t done = 0; done < length;) {
            const auto piece = buffer.first(static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), length - done)));
            if (!read(piece, from + done)) return false;
            quick.add(piece);
            done += static_cast<std::int64_t>(piece.size());
        }
        return true;
    };
    if (!feed(0, std::min(size, sampleSpan))) return false;
    if (size > 2 * sampleSpan && !feed(size - sampleSpan, sampleSpan)) return false;
    digest = quick.finish();
    return true;
}

} // namespace tallymere::DuplicateFiles
