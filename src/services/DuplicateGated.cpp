#include "services/DuplicateGated.h"

#include "base/PathText.h"
#include "platform/gate/MountPlace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tallymere::DuplicateGated {

Places::Places(const FileNode& root, const std::vector<MountEntry>& mounts) : m_root(&root) {
    // A later line mounted at the same place covers the earlier ones.
    std::unordered_map<std::string, bool> topmost;
    for (const MountEntry& mount : mounts) topmost[mount.mountPoint] = MountTable::mayNotAnswer(mount.fsType);
    const std::string rootPath = root.path();
    for (const auto& [point, mayNotAnswer] : topmost) {
        if (!mayNotAnswer) continue;
        // At or above the root, by whole names, every node lies there; below it, the nodes at and
        // under that point.
        if (point == rootPath || PathText::isInside(rootPath, point)) m_rootGated = true;
        else if (PathText::isInside(point, rootPath)) m_points.insert(point);
    }
    m_any = m_rootGated || !m_points.empty();
}

bool Places::isGatedFolder(const FileNode* folder) {
    if (folder == m_root || !folder) return m_rootGated;
    if (const auto known = m_folders.find(folder); known != m_folders.end()) return known->second;
    const bool gated = isGatedFolder(folder->parent) || m_points.contains(folder->path());
    m_folders.emplace(folder, gated);
    return gated;
}

bool Places::isGated(const FileNode& node) {
    if (!m_any) return false;
    if (m_rootGated || &node == m_root) return m_rootGated;
    // A file may be a mount point of its own (a file bound over another).
    return isGatedFolder(node.parent) || m_points.contains(node.path());
}

int File::open(const std::string& path, std::int64_t size, DuplicateFiles::Identity& identity,
               const DuplicateFiles::Identity* expected, std::size_t stretch) {
    close();
    PathGate::Reader reader(path);
    if (reader.error()) return reader.error();
    const struct stat& info = reader.info();
    if (!S_ISREG(info.st_mode) || info.st_size != size) return EINVAL;
    // The tree's paths are physical: a link on the way, or in the file's place, was put there
    // since the scan, and would lead to a file outside the scanned folder.
    const PathGate::Text real = PathGate::realPath(path);
    if (real.error) return real.error;
    if (real.text != path) return ELOOP;
    identity = DuplicateFiles::identityOf(info);
    if (expected && !identity.isUnchanged(*expected)) return EINVAL;
    m_reader.emplace(std::move(reader));
    m_size = size;
    m_stretch = stretch;
    return 0;
}

void File::close() {
    m_reader.reset();
    m_ahead = std::string();
    m_aheadAt = 0;
}

int File::readExactly(std::span<unsigned char> buffer, std::int64_t offset) {
    if (!m_reader) return EBADF;
    const auto length = static_cast<std::int64_t>(buffer.size());
    const auto held = static_cast<std::int64_t>(m_ahead.size());
    if (offset < m_aheadAt || offset + length > m_aheadAt + held) {
        const std::int64_t wanted = std::min(std::max(length, static_cast<std::int64_t>(m_stretch)), m_size - offset);
        if (wanted < length) return EIO; // beyond the end of the file it was
        PathGate::Text read = m_reader->read(static_cast<std::uint64_t>(offset), static_cast<std::size_t>(wanted));
        if (read.error) return read.error;
        if (static_cast<std::int64_t>(read.text.size()) < length) return EIO; // it shrank
        m_ahead = std::move(read.text);
        m_aheadAt = offset;
    }
    std::memcpy(buffer.data(), m_ahead.data() + (offset - m_aheadAt), buffer.size());
    return 0;
}

int File::checkUnchanged(const DuplicateFiles::Identity& expected) const {
    if (!m_reader) return EBADF;
    const PathGate::Status now = m_reader->look();
    if (now.error) return now.error;
    return DuplicateFiles::identityOf(now.info).isUnchanged(expected) ? 0 : EINVAL;
}

int sample(const std::string& path, std::int64_t size, std::span<unsigned char> buffer,
           DuplicateFiles::Identity& identity, std::uint64_t& digest) {
    File file;
    // The head and the tail each in one call.
    if (const int error = file.open(path, size, identity, nullptr, static_cast<std::size_t>(DuplicateFiles::sampleSpan)))
        return error;
    int error = 0;
    const auto read = [&](std::span<unsigned char> piece, std::int64_t offset) {
        error = file.readExactly(piece, offset);
        return error == 0;
    };
    if (DuplicateFiles::sampleWith(read, size, buffer, digest)) return 0;
    return error ? error : EINVAL;
}

} // namespace tallymere::DuplicateGated
