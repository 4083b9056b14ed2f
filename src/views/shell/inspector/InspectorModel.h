#pragma once
#include "core/FileNode.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere::InspectorModel {

// What the inspector says about one node, worked out apart from any widget. Sizes follow the size
// mode (`useAllocated`: bytes on disk, else logical bytes) except in the details, which show both.

// Which theme colour a badge or a detail is drawn in.
enum class Tint { none, category, accentSecondary, success, textSecondary, warning };

struct Badge {
    QString text;
    std::string symbol;
    Tint tint = Tint::none;
    friend bool operator==(const Badge&, const Badge&) = default;
};

struct Fact {
    QString label;
    QString value;
    Tint tint = Tint::none;
    friend bool operator==(const Fact&, const Fact&) = default;
};

// A file with content but no blocks on disk (its data lives elsewhere). A link never is: Linux
// keeps short link targets without blocks.
bool isEvicted(const FileNode& node);

// A plain folder, as opposed to a file, a link or a package shown as one item.
inline bool isPlainFolder(const FileNode& node) { return node.isDirectory && !node.isPackage; }

// Whether the node is a folder (or package) with at least one child: it can be zoomed into.
inline bool canFocus(const FileNode& node) { return node.isDirectory && node.hasChildren(); }

// The node's title: its own name below the top of its tree; for the top, "Macintosh HD" for "/",
// "Home" for the home folder `home`, else the last component of its path. Shown as one line.
QString displayName(const FileNode& node, std::string_view home);

// A fraction as a percentage with one decimal ("12.5%"), "<0.1%" for a sliver above zero.
QString shareText(double fraction);

// part / whole, 0 when whole is below 1 byte.
double fraction(std::int64_t part, std::int64_t whole);

// The badges under the name, in order: kind, package, link, no access, evicted.
std::vector<Badge> badges(const FileNode& node);

// The detail rows in order, at the moment `now` (seconds since 1970) for the relative dates.
std::vector<Fact> facts(const FileNode& node, bool useAllocated, double now);

// The `limit` largest children, largest first; equal sizes keep their stored order. Touches each
// child once and keeps only `limit` of them, so a folder of 100,000 entries costs no full sort.
std::vector<const FileNode*> largestChildren(const FileNode& node, bool useAllocated, std::size_t limit = 8);

} // namespace tallymere::InspectorModel
