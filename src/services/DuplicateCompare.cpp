#include "services/DuplicateCompare.h"

#include "platform/PathGate.h"
#include "services/DuplicateGated.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

namespace tallymere::DuplicateCompare {

namespace {

constexpr std::uint32_t noPart = std::numeric_limits<std::uint32_t>::max();
// Files of one set kept open across chunks; beyond them a file is opened again for each chunk, so
// a set of thousands of files cannot run the process out of descriptors.
constexpr std::size_t heldDescriptors = 32;
// Chunks that differ from each other kept in memory per chunk read; each further distinct one is
// remembered by its digest and read again only when another chunk's digest matches it.
constexpr std::size_t heldChunks = 8;
constexpr std::size_t noBuffer = std::numeric_limits<std::size_t>::max();

std::uint64_t quickDigest(const unsigned char* data, std::size_t length) {
    DuplicateFiles::QuickDigest digest;
    digest.add({data, length});
    return digest.finish();
}

} // namespace

unsigned char* Scratch::buffer(std::size_t index) {
    while (m_buffers.size() <= index) m_buffers.push_back(std::make_unique_for_overwrite<unsigned char[]>(chunkBytes));
    return m_buffers[index].get();
}

// Bytes a file read through the gate gives per call: a chunk's read is then seldom a call of its own.
constexpr std::size_t gatedStretch = 128 * 1024;

// The descriptors of one range's files, opened when first read; a file read through the gate is
// held there instead.
struct SameSizeSet::Reader {
    const SameSizeSet& set;
    std::vector<DuplicateFiles::Descriptor> descriptors;
    std::vector<DuplicateGated::File> gated; // empty while no file of the set is read through the gate
    std::size_t open = 0;

    explicit Reader(const SameSizeSet& owner)
        : set(owner), descriptors(owner.m_files.size()), gated(owner.m_gated.empty() ? 0 : owner.m_files.size()) {}

    // 0, or why the file cannot be read there.
    int read(std::size_t file, unsigned char* into, std::size_t length, std::int64_t offset) {
        if (set.isGated(file)) return readGated(file, into, length, offset);
        DuplicateFiles::Descriptor& fd = descriptors[file];
        if (!fd.isOpen()) {
            DuplicateFiles::Identity identity;
            fd = DuplicateFiles::openCandidate(set.m_files[file].node->path(), set.m_size, identity,
                                               &set.m_files[file].identity);
            if (!fd.isOpen()) return EIO;
            if (set.m_size > static_cast<std::int64_t>(chunkBytes))
                ::posix_fadvise(fd.get(), offset, 0, POSIX_FADV_SEQUENTIAL);
            ++open;
        }
        bool ok = DuplicateFiles::readExactly(fd.get(), {into, length}, offset);
        if (open > heldDescriptors) {
            // Checked as it is given back; its next read opens it again, checked then.
            ok = ok && DuplicateFiles::isUnchanged(fd.get(), set.m_files[file].identity);
            fd.reset();
            --open;
        }
        return ok ? 0 : EIO;
    }

    int readGated(std::size_t file, unsigned char* into, std::size_t length, std::int64_t offset) {
        DuplicateGated::File& held = gated[file];
        const DuplicateFiles::Identity& expected = set.m_files[file].identity;
        if (!held.isOpen()) {
            DuplicateFiles::Identity identity;
            const std::string path = set.m_files[file].node->path();
            if (const int error = held.open(path, set.m_size, identity, &expected, gatedStretch)) return error;
            ++open;
        }
        int error = held.readExactly({into, length}, offset);
        if (open > heldDescriptors) {
            // What it fetched ahead is given back with it.
            if (!error) error = held.checkUnchanged(expected);
            held.close();
            --open;
        }
        return error;
    }

    // A file written while it is read is not what was compared. Its change time moves with any
    // write, so one look after the range's last read catches a write anywhere behind the reading
    // since the sample; a descriptor given back was looked at then. 0, or why it is not that file.
    int checkUnchanged(std::size_t file) const {
        if (set.isGated(file)) return gated[file].isOpen() ? gated[file].checkUnchanged(set.m_files[file].identity) : 0;
        const DuplicateFiles::Descriptor& fd = descriptors[file];
        return !fd.isOpen() || DuplicateFiles::isUnchanged(fd.get(), set.m_files[file].identity) ? 0 : EINVAL;
    }
};

void SameSizeSet::setUnread(std::size_t file, int error) {
    const bool wasOut = m_out[file].exchange(true, std::memory_order_relaxed);
    if (!wasOut && error == PathGate::notAnswering) m_unanswered.fetch_add(1, std::memory_order_relaxed);
}

SameSizeSet::SameSizeSet(std::int64_t size, std::vector<File> files, std::vector<bool> gated)
    : m_size(size), m_files(std::move(files)), m_gated(std::move(gated)),
      m_out(std::make_unique<std::atomic<bool>[]>(m_files.size())),
      m_partOf(static_cast<std::size_t>(std::max<std::int64_t>(1, (size + rangeBytes - 1) / rangeBytes))),
      m_rangesLeft(m_partOf.size()) {
    for (std::size_t i = 0; i < m_files.size(); ++i) m_out[i].store(false, std::memory_order_relaxed);
}

bool SameSizeSet::compareRange(std::size_t range, Scratch& scratch, const std::function<bool()>& stopped) {
    const std::int64_t begin = static_cast<std::int64_t>(range) * rangeBytes;
    const std::int64_t end = std::min(m_size, begin + rangeBytes);
    Reader reader(*this);

    // Files in one part are identical over the chunks read so far; every chunk splits parts further.
    std::vector<std::vector<std::uint32_t>> parts(1), next;
    for (std::size_t i = 0; i < m_files.size(); ++i)
        if (!isOut(i)) parts[0].push_back(static_cast<std::uint32_t>(i));
    struct Class {
        std::vector<std::uint32_t> files;
        std::size_t buffer = noBuffer; // its chunk in the scratch, else only its digest is known
        std::uint64_t digest = 0;
    };
    std::vector<Class> classes;
    const auto out = [this](std::uint32_t file) { return isOut(file); };

    for (std::int64_t offset = begin; offset < end && !parts.empty(); offset += static_cast<std::int64_t>(chunkBytes)) {
        if (stopped()) return false;
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunkBytes), end - offset));
        next.clear();
        for (auto& part : parts) {
            // Another range may have found some of these files unique meanwhile: a file left alone
            // in its part differs from every other file of the set.
            std::erase_if(part, out);
            if (part.size() < 2) {
                for (std::uint32_t file : part) setOut(file);
                continue;
            }
            classes.clear();
            std::size_t held = 0;
            for (std::uint32_t file : part) {
                unsigned char* data = scratch.buffer(held);
                if (const int error = reader.read(file, data, length, offset)) {
                    setUnread(file, error);
                    continue;
                }
                std::optional<std::uint64_t> digest;
                Class* match = nullptr;
                for (Class& candidate : classes) {
                    bool same;
                    if (candidate.buffer != noBuffer) {
                        same = std::memcmp(data, scratch.buffer(candidate.buffer), length) == 0;
                    } else {
                        if (!digest) digest = quickDigest(data, length);
                        same = *digest == candidate.digest;
                        if (same) {
                            unsigned char* again = scratch.buffer(held + 1);
                            const std::uint32_t first = candidate.files.front();
                            if (const int error = reader.read(first, again, length, offset)) {
                                setUnread(first, error);
                                same = false;
                            } else {
                                same = std::memcmp(data, again, length) == 0;
                            }
                        }
                    }
                    if (same) {
                        match = &candidate;
                        break;
                    }
                }
                if (match) {
                    match->files.push_back(file);
                    continue;
                }
                Class fresh;
                fresh.files.push_back(file);
                if (held < heldChunks) fresh.buffer = held++;
                else fresh.digest = digest ? *digest : quickDigest(data, length);
                classes.push_back(std::move(fresh));
            }
            for (Class& found : classes) {
                std::erase_if(found.files, out);
                if (found.files.size() < 2) {
                    for (std::uint32_t file : found.files) setOut(file);
                } else {
                    next.push_back(std::move(found.files));
                }
            }
        }
        parts.swap(next);
    }

    for (const auto& part : parts)
        for (std::uint32_t file : part)
            if (!isOut(file))
                if (const int error = reader.checkUnchanged(file)) setUnread(file, error);
    std::vector<std::uint32_t>& partOf = m_partOf[range];
    partOf.assign(m_files.size(), noPart);
    for (auto& part : parts) {
        std::erase_if(part, out);
        if (part.size() < 2) {
            for (std::uint32_t file : part) setOut(file);
            continue;
        }
        for (std::uint32_t file : part) partOf[file] = part.front();
    }
    return true;
}

std::vector<std::vector<std::size_t>> SameSizeSet::identical() const {
    // Files identical over every range: equal parts in all of them.
    std::vector<std::pair<std::vector<std::uint32_t>, std::size_t>> keyed;
    for (std::size_t file = 0; file < m_files.size(); ++file) {
        if (isOut(file)) continue;
        std::vector<std::uint32_t> key;
        key.reserve(m_partOf.size());
        for (const auto& partOf : m_partOf) key.push_back(partOf.empty() ? noPart : partOf[file]);
        if (std::find(key.begin(), key.end(), noPart) != key.end()) continue;
        keyed.emplace_back(std::move(key), file);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::vector<std::size_t>> result;
    for (std::size_t i = 0; i < keyed.size();) {
        std::size_t j = i;
        std::vector<std::size_t> files;
        while (j < keyed.size() && keyed[j].first == keyed[i].first) files.push_back(keyed[j++].second);
        if (files.size() > 1) result.push_back(std::move(files));
        i = j;
    }
    std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
    return result;
}

} // namespace tallymere::DuplicateCompare
