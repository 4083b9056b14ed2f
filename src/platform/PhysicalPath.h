#pragma once
#include <string>

namespace tallymere {

// A path as the file system knows it now: standardized, then the real path of its nearest existing
// folder at or above it, followed by the components that do not exist yet. A scanned tree holds
// such paths, so a path the user wrote (a home reached through a link, $XDG_DATA_HOME) is compared
// with the tree's only after this. Empty for a relative path, when even "/" cannot be resolved, or
// when the way passes a mount that does not answer within the gate's bound.
std::string physicalPath(const std::string& path);

} // namespace tallymere
