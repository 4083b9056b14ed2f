#pragma once
#include <string>

namespace tallymere {

// A path as the file system knows it now: standardized, then the real path of its nearest existing
// folder at or above it, followed by the components that do not exist yet. A scanned tree holds
// such paths, so a path the user wrote (a home reached through a link, $XDG_DATA_HOME) is compared
// with the tree's only after this. Empty for a relative path, or when even "/" cannot be resolved;
// as written (standardized) when a folder on the way lies on a file system that does not answer.
std::string physicalPath(const std::string& path);

} // namespace tallymere
