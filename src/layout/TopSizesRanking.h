#pragma once
#include "core/FileNode.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere::TopSizesRanking {

// What the ranked list draws from below the shown node. The order is the order of the switcher.
enum class Scope { children, files, folders };

inline constexpr Scope scopes[] = {Scope::children, Scope::files, Scope::folders};

// The most rows the list ever holds.
inline constexpr std::size_t maxRows = 150;

// The scope's title, which is also its identity ("In this folder", ...).
std::string_view title(Scope scope);
// Exactly one of the three titles gives its scope; any other text gives none.
std::optional<Scope> fromTitle(std::string_view title);

// The largest entries under `shown`, largest displayed size first, at most `limit` of them:
// - children: the node's own children; equal sizes keep their stored order;
// - files: every file, symbolic link or package anywhere below (the node itself when it is one),
//   never anything inside a package; equal sizes keep pre-order;
// - folders: every plain folder anywhere below, folders inside packages included, never a package
//   and never `shown` itself; equal sizes keep pre-order.
// The same rows as sorting everything and cutting, found by a bounded selection: the walk keeps
// only the best `limit` seen so far, so a million candidates cost no million-entry sort.
std::vector<const FileNode*> rows(const FileNode& shown, Scope scope, bool useAllocated, std::size_t limit = maxRows);

// A bar's length as a share of the track: 0 when the largest row is below 1 byte.
double fraction(std::int64_t value, std::int64_t maxValue);

// Whether the row carries the cloud mark: a file with content whose bytes are not on this disk.
// A symbolic link never does (short link targets live without blocks), nor does any folder.
bool isInCloud(const FileNode& node);

} // namespace tallymere::TopSizesRanking
