#pragma once
#include "core/DiskScanner.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tallymere {

// What one scan covers. Identified by its path; equal when all three fields are equal.
struct ScanTarget {
    // The folder or volume to scan, raw path bytes.
    std::string path;
    // The name shown for the target (text).
    std::string title;
    // A whole-disk scan: it uses the whole-disk scan options and warns when read access to every
    // folder is missing.
    bool isFullDisk = false;

    const std::string& id() const { return path; }

    // "/" titled "Macintosh HD", the whole disk.
    static ScanTarget fullDisk();
    // The user's home folder titled "Home".
    static ScanTarget home(std::string homePath);
    // A chosen folder titled with its last path component; never the whole-disk target, also for "/".
    static ScanTarget folder(std::string path);
    // A remembered path: the whole-disk target exactly for "/", else a folder.
    static ScanTarget recent(std::string path);

    friend bool operator==(const ScanTarget&, const ScanTarget&) = default;
};

// The scan settings of a target: the whole-disk options for the whole disk and for any folder
// target that is the root folder (it would otherwise count RAM-backed and image mounts again);
// else hidden entries and a live count in allocated bytes, nothing excluded.
ScanOptions scanOptionsFor(const ScanTarget& target);

// The last component of a path, with trailing "/" ignored; "/" for the root and for a path of
// slashes only, "" for an empty path. Repaired to UTF-8, since it is shown.
std::string lastPathComponentText(std::string_view path);

// An absolute path without "." and ".." components, repeated or trailing slashes: relative paths
// are resolved against the working directory. Empty stays empty. The file system is not consulted,
// so links are kept as they are.
std::string absoluteCleanPath(std::string_view path);

} // namespace tallymere

template <>
struct std::hash<tallymere::ScanTarget> {
    std::size_t operator()(const tallymere::ScanTarget& target) const noexcept {
        std::size_t h = std::hash<std::string>{}(target.path);
        h = h * 31 + std::hash<std::string>{}(target.title);
        return h * 31 + (target.isFullDisk ? 1 : 0);
    }
};
