#pragma once
#include "core/CleanupPreset.h"

#include <functional>
#include <memory>
#include <vector>

namespace tallymere::PresetScanner {

inline constexpr std::size_t maxNodesPerHit = 400;

// Matches the presets against the tree in one walk and returns one hit per preset that matched
// anything, the largest total first (equal totals in preset order). A matched folder and every
// package are not entered; a node may match several presets and then counts in each. Nothing
// inside the operating system's own folders (/usr, /etc, /bin, /sbin, /lib*, /boot, /opt,
// /var/lib, /snap, /srv) ever matches. Sizes are allocated bytes when `useAllocated`, else
// logical. A match that `leaveOut` holds true for counts nowhere, neither in the nodes nor in the
// total, and a preset left with no match gives no hit. Reads the tree only; a null root gives no hits.
std::vector<PresetHit> run(const std::shared_ptr<FileNode>& root, const std::vector<CleanupPreset>& presets,
                           bool useAllocated, const std::function<bool(const FileNode&)>& leaveOut = {});

} // namespace tallymere::PresetScanner
