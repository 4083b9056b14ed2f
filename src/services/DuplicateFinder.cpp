#include "services/DuplicateFinder.h"

#include "base/Utf8.h"
#include "core/ByteFormat.h"
#include "core/DiskScanner.h"

#include <openssl/evp.h>
#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>
#include <unordered_map>

namespace tallymere::DuplicateFinder {

namespace {

using Md5 = std::array<unsigned char, 16>;
using Sha256 = std::array<unsigned char, 32>;

// Files up to this size are read whole in the sampling stage, which then also takes their full
// digest: a small file is opened once instead of twice.
constexpr std::int64_t wholeReadLimit = 2 * sampleSpan;
constexpr std::size_t chunkBytes = 4 * 1024 * 1024;

struct Md5Hash {
    std::size_t operator()(const Md5& digest) const noexcept {
        std::size_t h;
        std::memcpy(&h, digest.data(), sizeof h);
        return h;
    }
};
struct Sha256Hash {
    std::size_t operator()(const Sha256& digest) const noexcept {
        std::size_t h;
        std::memcpy(&h, digest.data(), sizeof h);
        return h;
    }
};

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// The candidate's file, still a regular file of the scanned size; -1 otherwise. O_NOFOLLOW: a link
// put in the file's place is not read through. O_NONBLOCK: a FIFO put there cannot hang the open.
int openCandidate(const std::string& path, std::int64_t size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != size) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads `want` bytes at `offset`, fewer only at the end of the file. False on a read error.
bool readAt(int fd, unsigned char* buffer, std::size_t want, off_t offset, std::size_t& got) {
    got = 0;
    while (got < want) {
        ssize_t n = ::pread(fd, buffer + got, want - got, offset + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// One worker's reusable digest contexts and read buffer.
class Hasher {
public:
    Hasher(const EVP_MD* md5, const EVP_MD* sha256)
        : m_md5(md5), m_sha256(sha256), m_context(EVP_MD_CTX_new()), m_buffer(chunkBytes) {}
    ~Hasher() { EVP_MD_CTX_free(m_context); }
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    struct Sample {
        Md5 sample{};
        std::optional<Sha256> full; // taken as well when the whole file was read
    };

    // The digest of the size (8 bytes, little-endian), the head and, above 128 KiB, the tail.
    std::optional<Sample> sample(const std::string& path, std::int64_t size) {
        if (size <= 0 || !m_context) return std::nullopt;
        Descriptor fd(openCandidate(path, size));
        if (fd.get() < 0) return std::nullopt;
        unsigned char* data = m_buffer.data();
        Sample result;
        unsigned char sizeBytes[8];
        for (int i = 0; i < 8; ++i) sizeBytes[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(size) >> (8 * i));

        std::size_t got = 0;
        if (size <= wholeReadLimit) {
            // One byte more than expected tells a file that grew since the scan.
            if (!readAt(fd.get(), data, static_cast<std::size_t>(size) + 1, 0, got) ||
                got != static_cast<std::size_t>(size))
                return std::nullopt;
            const std::size_t head = std::min<std::size_t>(got, sampleSpan);
            if (!digest(m_md5, {{sizeBytes, 8}, {data, head}}, result.sample.data())) return std::nullopt;
            Sha256 full{};
            if (!digest(m_sha256, {{data, got}, {nullptr, 0}}, full.data())) return std::nullopt;
            result.full = full;
            return result;
        }
        std::size_t tailGot = 0;
        unsigned char* tail = data + sampleSpan;
        if (!readAt(fd.get(), data, sampleSpan, 0, got) || got != sampleSpan ||
            !readAt(fd.get(), tail, sampleSpan, static_cast<off_t>(size - sampleSpan), tailGot) ||
            tailGot != sampleSpan)
            return std::nullopt;
        if (!digest(m_md5, {{sizeBytes, 8}, {data, got}, {tail, tailGot}}, result.sample.data())) return std::nullopt;
        return result;
    }

    // SHA-256 of every byte, read in 4 MiB chunks. None when the file cannot be read to its end,
    // holds other than `size` bytes, or the search is cancelled meanwhile.
    std::optional<Sha256> full(const std::string& path, std::int64_t size, const Progress& progress) {
        if (!m_context) return std::nullopt;
        Descriptor fd(openCandidate(path, size));
        if (fd.get() < 0) return std::nullopt;
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        if (EVP_DigestInit_ex(m_context, m_sha256, nullptr) != 1) return std::nullopt;
        std::int64_t total = 0;
        for (;;) {
            ssize_t n = ::read(fd.get(), m_buffer.data(), m_buffer.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                return std::nullopt;
            }
            if (n == 0) break;
            total += n;
            if (total > size) return std::nullopt;
            if (EVP_DigestUpdate(m_context, m_buffer.data(), static_cast<std::size_t>(n)) != 1) return std::nullopt;
            // A stop between chunks keeps a huge file from holding the search up.
            if (total < size && progress.cancelled()) return std::nullopt;
        }
        if (total != size) return std::nullopt;
        Sha256 result{};
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_context, result.data(), &length) != 1 || length != result.size()) return std::nullopt;
        return result;
    }

private:
    struct Piece {
        const unsigned char* data;
        std::size_t length;
    };

    bool digest(const EVP_MD* type, std::initializer_list<Piece> pieces, unsigned char* out) {
        if (EVP_DigestInit_ex(m_context, type, nullptr) != 1) return false;
        for (const Piece& piece : pieces)
            if (piece.length > 0 && EVP_DigestUpdate(m_context, piece.data, piece.length) != 1) return false;
        unsigned int length = 0;
        return EVP_DigestFinal_ex(m_context, out, &length) == 1;
    }

    const EVP_MD* m_md5;
    const EVP_MD* m_sha256;
    EVP_MD_CTX* m_context;
    std::vector<unsigned char> m_buffer;
};

// The digest algorithms, fetched once per search rather than implicitly on every file.
class Algorithms {
public:
    Algorithms() : md5(EVP_MD_fetch(nullptr, "MD5", nullptr)), sha256(EVP_MD_fetch(nullptr, "SHA256", nullptr)) {}
    ~Algorithms() {
        EVP_MD_free(md5);
        EVP_MD_free(sha256);
    }
    Algorithms(const Algorithms&) = delete;
    Algorithms& operator=(const Algorithms&) = delete;
    bool valid() const { return md5 && sha256; }

    EVP_MD* md5;
    EVP_MD* sha256;
};

// Runs body(worker, i) for every i below n on up to one thread per processor; each worker owns
// one Hasher. Returns when every iteration has ended.
template <class Body>
void parallelFor(std::size_t n, const Algorithms& algorithms, Body&& body) {
    if (n == 0) return;
    const std::size_t width = std::min<std::size_t>(n, static_cast<std::size_t>(DiskScanner::activeProcessors()));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        Hasher hasher(algorithms.md5, algorithms.sha256);
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) body(hasher, i);
    };
    std::vector<std::jthread> workers;
    workers.reserve(width - 1);
    for (std::size_t w = 1; w < width; ++w) workers.emplace_back(work);
    work();
}

// Counts grapheme clusters with one ICU break iterator for all the paths of a search.
class GraphemeCounter {
public:
    GraphemeCounter() {
        UErrorCode status = U_ZERO_ERROR;
        m_iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) m_iterator.reset();
    }

    std::size_t count(std::string_view bytes) {
        // Plain ASCII without a carriage return: one character a byte.
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != '\r'; }))
            return bytes.size();
        const std::string text = repairUtf8(bytes);
        icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
        if (!m_iterator) return static_cast<std::size_t>(unicode.countChar32());
        m_iterator->setText(unicode);
        std::size_t clusters = 0;
        m_iterator->first();
        while (m_iterator->next() != icu::BreakIterator::DONE) ++clusters;
        return clusters;
    }

private:
    std::unique_ptr<icu::BreakIterator> m_iterator;
};

std::string countText(std::size_t n) { return ByteFormat::count(static_cast<std::int64_t>(n)); }

} // namespace

std::size_t graphemeCount(std::string_view pathBytes) { return GraphemeCounter().count(pathBytes); }

std::vector<Group> find(const std::shared_ptr<FileNode>& root, std::int64_t minSize, Progress& progress) {
    if (!root) return {};

    // Stage 1: equal logical sizes; nothing is read.
    std::unordered_map<std::int64_t, std::vector<const FileNode*>> bySize;
    root->walk([&](const FileNode& node) {
        if (node.isDirectory && !node.isPackage) return true;
        if (!node.isSymlink && node.size >= minSize) bySize[node.size].push_back(&node);
        return false;
    });
    std::vector<std::vector<const FileNode*>*> buckets;
    for (auto& [size, nodes] : bySize)
        if (nodes.size() > 1) buckets.push_back(&nodes);
    if (buckets.empty() || progress.cancelled()) return {};
    // Largest files first, so the last files a stage reads are small ones and no processor is
    // left with one big file at the end.
    std::sort(buckets.begin(), buckets.end(), [](auto* a, auto* b) { return a->front()->size > b->front()->size; });

    std::vector<const FileNode*> candidates;
    for (auto* bucket : buckets) candidates.insert(candidates.end(), bucket->begin(), bucket->end());
    bySize.clear();

    Algorithms algorithms;
    if (!algorithms.valid()) return {};

    // Stage 2: sampled digests.
    const std::size_t n = candidates.size();
    progress.begin("Sampling " + countText(n) + " candidates", static_cast<std::int64_t>(n));
    std::vector<std::optional<Hasher::Sample>> samples(n);
    parallelFor(n, algorithms, [&](Hasher& hasher, std::size_t i) {
        if (progress.cancelled()) return;
        samples[i] = hasher.sample(candidates[i]->path(), candidates[i]->size);
        progress.addDone();
    });

    // Candidates of one size are adjacent, so sample groups are formed size by size.
    struct Verify {
        const FileNode* node;
        std::optional<Sha256> known;
    };
    std::vector<Verify> verify;
    std::vector<std::size_t> groupStarts; // where each sample group begins in `verify`
    std::unordered_map<Md5, std::vector<std::size_t>, Md5Hash> bySample;
    std::vector<const std::vector<std::size_t>*> order;
    for (std::size_t start = 0; start < n;) {
        std::size_t end = start;
        while (end < n && candidates[end]->size == candidates[start]->size) ++end;
        bySample.clear();
        order.clear();
        for (std::size_t i = start; i < end; ++i) {
            if (!samples[i]) continue;
            auto [it, inserted] = bySample.try_emplace(samples[i]->sample);
            if (inserted) order.push_back(&it->second);
            it->second.push_back(i);
        }
        for (const auto* members : order) {
            if (members->size() < 2) continue;
            groupStarts.push_back(verify.size());
            for (std::size_t i : *members) verify.push_back({candidates[i], samples[i]->full});
        }
        start = end;
    }
    samples.clear();
    samples.shrink_to_fit();
    if (verify.empty() || progress.cancelled()) return {};

    // Stage 3: full digests.
    const std::size_t m = verify.size();
    progress.begin("Verifying " + countText(m) + " files", static_cast<std::int64_t>(m));
    std::vector<std::optional<Sha256>> digests(m);
    parallelFor(m, algorithms, [&](Hasher& hasher, std::size_t i) {
        if (progress.cancelled()) return;
        digests[i] = verify[i].known ? verify[i].known : hasher.full(verify[i].node->path(), verify[i].node->size, progress);
        progress.addDone();
    });

    // Only members of one sample group can share a digest: group each on its own.
    GraphemeCounter graphemes;
    std::vector<Group> groups;
    std::unordered_map<Sha256, std::vector<const FileNode*>, Sha256Hash> byDigest;
    std::vector<std::vector<const FileNode*>*> digestOrder;
    groupStarts.push_back(m);
    for (std::size_t g = 0; g + 1 < groupStarts.size(); ++g) {
        byDigest.clear();
        digestOrder.clear();
        for (std::size_t i = groupStarts[g]; i < groupStarts[g + 1]; ++i) {
            if (!digests[i]) continue;
            auto [it, inserted] = byDigest.try_emplace(*digests[i]);
            if (inserted) digestOrder.push_back(&it->second);
            it->second.push_back(verify[i].node);
        }
        for (auto* members : digestOrder) {
            if (members->size() < 2) continue;
            std::vector<std::pair<std::size_t, const FileNode*>> byLength;
            byLength.reserve(members->size());
            for (const FileNode* node : *members) byLength.emplace_back(graphemes.count(node->path()), node);
            std::stable_sort(byLength.begin(), byLength.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            Group group;
            group.size = members->front()->size;
            group.files.reserve(byLength.size());
            for (const auto& [length, node] : byLength) group.files.push_back(share(root, node));
            groups.push_back(std::move(group));
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.waste() > b.waste(); });
    return groups;
}

} // namespace tallymere::DuplicateFinder
