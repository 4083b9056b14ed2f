#pragma once
#include "core/FileNode.h"
#include "base/Uuid.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere {

// One kind of well-known reclaimable data, described by folder names and file extensions.
struct CleanupPreset {
    std::string id;      // stable key
    std::string title;   // display title
    std::string symbol;  // symbol name of its icon
    std::string blurb;   // one-line description
    // A directory whose own name equals a member matches (exact bytes, case-sensitive).
    std::set<std::string> directoryNames;
    // A directory whose full path equals a member matches too (exact bytes), whatever the rules
    // below say: for folders known by place rather than by name.
    std::set<std::string> directoryPaths;
    // When present, a directory that matched by name counts only when its full path contains this
    // fragment (case-sensitive).
    std::optional<std::string> pathContains;
    // When present, a directory that matched by name counts only when its full path lies inside
    // this folder (whole path components: "/home/al" does not hold "/home/alice/Downloads").
    // Empty means no folder holds anything.
    std::optional<std::string> pathPrefix;
    // Lower-case extensions without the dot; a non-directory matches when its lower-cased
    // extension is a member.
    std::set<std::string> extensions;
    // The data is rebuilt by the tool that made it; shown, not used for matching.
    bool regenerable = false;

    friend bool operator==(const CleanupPreset&, const CleanupPreset&) = default;

    // The twelve presets in display order, the Downloads preset bound to `homeFolder`, the Trash
    // preset finding the home Trash ("Trash" in `dataHome`; `homeFolder`/.local/share when empty)
    // and the user's own Trash folders of other disks (".Trash-`uid`").
    static std::vector<CleanupPreset> table(std::string_view homeFolder, std::string_view dataHome = {},
                                            unsigned uid = 0);
    // table() for the user's home folder, built once on first use (thread-safe) and kept.
    static const std::vector<CleanupPreset>& all();
};

// The nodes of one scan that matched one preset.
struct PresetHit {
    Uuid id;               // fresh for every hit of every run
    CleanupPreset preset;
    // The matched nodes, largest first, at most PresetScanner::maxNodesPerHit; each keeps the
    // whole scanned tree alive.
    std::vector<std::shared_ptr<FileNode>> nodes;
    // The size of every matched node added up, including those beyond the kept ones.
    std::int64_t total = 0;

    friend bool operator==(const PresetHit&, const PresetHit&) = default;
};

} // namespace tallymere

// Equal presets have equal ids, so the id alone is a sound hash.
template <>
struct std::hash<tallymere::CleanupPreset> {
    std::size_t operator()(const tallymere::CleanupPreset& preset) const noexcept {
        return std::hash<std::string>()(preset.id);
    }
};
