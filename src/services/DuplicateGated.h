#pragma once
#include "core/FileNode.h"
#include "platform/MountTable.h"
#include "platform/PathGate.h"
#include "services/DuplicateFiles.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The candidates of the duplicate search that lie where a call may wait for ever on a server (a
// FUSE, network or unknown file system): none of them is opened in this process, each look and
// read is a bounded call of the gate. Private to the duplicate search.
namespace tallymere::DuplicateGated {

// Which nodes of one scanned tree lie on, or below, a mount that may not answer, told from the
// mount table by the tree's paths, which are physical. One per search, on one thread.
class Places {
public:
    Places(const FileNode& root, const std::vector<MountEntry>& mounts);

    // False when no node of the tree lies where a mount may not answer, the usual case: then
    // isGated() is never worth asking.
    bool any() const { return m_any; }
    // Whether `node`, a node of the tree, lies on or below such a mount. Each folder's answer is
    // kept, so a search asks once per folder of its candidates.
    bool isGated(const FileNode& node);

private:
    bool isGatedFolder(const FileNode* folder);

    const FileNode* m_root;
    bool m_rootGated = false;
    bool m_any = false;
    std::unordered_set<std::string> m_points; // mount points whose topmost mount may not answer
    std::unordered_map<const FileNode*, bool> m_folders;
};

// One candidate held through the gate. Reads fetch at least `stretch` bytes at once (up to the
// end of the file), so that reading a sample or a chunk is seldom a call of its own.
class File {
public:
    // Holds the file at `path` while it is still a regular file of `size` bytes reached through
    // no link (and, with `expected`, that very file unchanged); `identity` receives what it is.
    // 0, PathGate::notAnswering, or another nonzero value for any other reason it is no candidate.
    int open(const std::string& path, std::int64_t size, DuplicateFiles::Identity& identity,
             const DuplicateFiles::Identity* expected, std::size_t stretch);
    bool isOpen() const { return m_reader.has_value(); }
    void close();

    // Exactly `buffer.size()` bytes at `offset`: 0, or why not (notAnswering, or another nonzero
    // value for a read error or an early end of the file).
    int readExactly(std::span<unsigned char> buffer, std::int64_t offset);
    // 0 while the file is still as `expected` saw it; else notAnswering or another nonzero value.
    int checkUnchanged(const DuplicateFiles::Identity& expected) const;

private:
    std::optional<PathGate::Reader> m_reader;
    std::int64_t m_size = 0;
    std::size_t m_stretch = 0;
    std::string m_ahead; // bytes fetched from m_aheadAt on
    std::int64_t m_aheadAt = 0;
};

// The sample digest (DuplicateFiles::sample) of the candidate at `path`; 0, or why there is none.
int sample(const std::string& path, std::int64_t size, std::span<unsigned char> buffer,
           DuplicateFiles::Identity& identity, std::uint64_t& digest);

} // namespace tallymere::DuplicateGated
