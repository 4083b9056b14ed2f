#pragma once
#include "core/FileNode.h"
#include "platform/Places.h"

#include <span>
#include <string>
#include <string_view>

// The places of a scanned tree, as its scan marked them on the nodes (isTrash, isProtected,
// holdsPlace): what the search for copies leaves out and what is never staged, decided from the
// tree alone, with no look at the disk.
namespace tallymere::PlaceMarks {

// Marks `node` from the registry's entries for its identity (`found`) and its name: a folder named
// like a volume's Trash (".Trash", ".Trash-UID") in a folder that is a place is a Trash too. True
// when any mark was set.
bool mark(FileNode& node, std::span<const Place> found, bool parentIsPlace, std::string_view name);

// Marks every folder above `node` in its tree as holding a place.
void markHolders(const FileNode& node);

// Whether `node` is a Trash or lies in one in its tree.
bool isInTrash(const FileNode& node);

// Whether staging or moving `node` is refused for what it is in its tree: it is or lies in a Trash,
// is a place, or holds one.
bool isRefused(const FileNode& node);

// Why `node` is refused, naming it by its path; empty when it is not. The node's identity is looked
// at now to name its place from `registry` (the one its tree was marked with); without an answer
// the marks alone say what it is.
std::string whyRefused(const FileNode& node, const PlaceRegistry& registry);

} // namespace tallymere::PlaceMarks
