#pragma once
// What the duplicate search's tests share: content of any length, files, a scan as the window's.
#include "core/DiskScanner.h"
#include "services/DuplicateFinder.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tallymere::test {

// Bytes of a seeded pattern, so different seeds give different content of any length.
inline std::string pattern(std::size_t bytes, unsigned seed) {
    std::string data(bytes, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return data;
}

inline void write(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

inline std::shared_ptr<FileNode> scan(const std::string& path, const PlaceRegistry& places = {}) {
    ScanProgress progress;
    ScanOptions options;
    options.includeHidden = true;
    options.places = places;
    return DiskScanner::scan(path, options, progress);
}

// Each group as its paths relative to `base`, in group order.
inline std::vector<std::vector<std::string>> relativePaths(const std::vector<DuplicateFinder::Group>& groups, const std::string& base) {
    std::vector<std::vector<std::string>> out;
    for (const DuplicateFinder::Group& group : groups) {
        std::vector<std::string> paths;
        for (const auto& file : group.files) paths.push_back(file->path().substr(base.size() + 1));
        out.push_back(paths);
    }
    return out;
}

} // namespace tallymere::test
