#pragma once
#include "core/FileNode.h"
#include "services/DuplicateFiles.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The last stage of the duplicate search: files of one size whose samples agree, read side by side
// and compared byte for byte. Exact, with no digest standing in for the bytes. A file stops being
// read at the first chunk where it parts from every other file of its set. Private to the
// duplicate search.
namespace tallymere::DuplicateCompare {

// Bytes each file gives per read. Each worker holds two to nine such chunks at once, so this sets
// most of what the comparison keeps resident; the read calls cost more as it shrinks (at 16 KiB
// about a seventh more processor time than at 64 KiB), and at 8 KiB the search still takes a
// fraction of the processor time that hashing every byte would.
inline constexpr std::size_t chunkBytes = 8 * 1024;
// A set of large files is cut into ranges of this many bytes that workers compare at once, so
// one set of huge files does not leave the other processors idle.
inline constexpr std::int64_t rangeBytes = 16 * 1024 * 1024;

struct File {
    const FileNode* node = nullptr;    // its path is made again whenever the file is opened
    DuplicateFiles::Identity identity; // as sampled; a file found to be another one drops out
};

// One worker's read buffers, reused from range to range.
class Scratch {
public:
    unsigned char* buffer(std::size_t index);
    std::size_t held() const { return m_buffers.size(); }

private:
    std::vector<std::unique_ptr<unsigned char[]>> m_buffers;
};

// Files of one size, two or more, whose samples agree. Each range is compared by one worker, any
// ranges at once; once every range is done, the files identical in all of them are duplicates.
class SameSizeSet {
public:
    // `gated`: for each file, whether it lies where a call may not answer and is read through the
    // gate; empty when none does.
    SameSizeSet(std::int64_t size, std::vector<File> files, std::vector<bool> gated = {});

    std::int64_t size() const { return m_size; }
    std::size_t fileCount() const { return m_files.size(); }
    const File& file(std::size_t index) const { return m_files[index]; }
    std::size_t rangeCount() const { return m_partOf.size(); }

    // Compares the files still in play over range `range`. A file that cannot be read, or that
    // differs there from every other file of the set, is out of play for every range. Returns
    // false when `stopped` answered true before the range was done (checked before each chunk).
    bool compareRange(std::size_t range, Scratch& scratch, const std::function<bool()>& stopped);

    // Counts a finished range; true for the caller that finished the last one.
    bool finishRange() { return m_rangesLeft.fetch_sub(1, std::memory_order_acq_rel) == 1; }

    // After every range was compared: the sets of files identical throughout, two or more files
    // each, as indexes into the files in ascending order, ordered by their first index.
    std::vector<std::vector<std::size_t>> identical() const;

    // Files put out of play because their file system did not answer.
    std::size_t unanswered() const { return m_unanswered.load(std::memory_order_relaxed); }

private:
    struct Reader;
    bool isOut(std::size_t file) const { return m_out[file].load(std::memory_order_relaxed); }
    void setOut(std::size_t file) { m_out[file].store(true, std::memory_order_relaxed); }
    // Out of play because it could not be read (`error`: why).
    void setUnread(std::size_t file, int error);
    bool isGated(std::size_t file) const { return !m_gated.empty() && m_gated[file]; }

    std::int64_t m_size;
    std::vector<File> m_files;
    std::vector<bool> m_gated;
    std::unique_ptr<std::atomic<bool>[]> m_out;
    std::atomic<std::size_t> m_unanswered{0};
    // For each range, each file's part: the index of the first file of the files found identical
    // over that range, or noPart for a file out of play.
    std::vector<std::vector<std::uint32_t>> m_partOf;
    std::atomic<std::size_t> m_rangesLeft;
};

} // namespace tallymere::DuplicateCompare
