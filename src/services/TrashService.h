#pragma once
#include "base/DesktopActions.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tallymere::TrashService {

// The result of one trash request.
struct Outcome {
    // Paths moved to the Trash, in input order.
    std::vector<std::string> trashed;
    // Each path that could not be moved with the system's message, in input order.
    std::vector<std::pair<std::string, std::string>> failed;
    // Sum of sizes[path] over the moved paths; a moved path missing from sizes adds 0.
    std::int64_t freed = 0;

    friend bool operator==(const Outcome&, const Outcome&) = default;
};

// Moves each path (absolute, raw bytes) to the Trash of its device, in order; a folder goes with
// everything inside it. Nothing is deleted, copied, de-duplicated or retried: a path that fails
// (missing, relative, "/", on a device whose Trash cannot be made, or anything rename refuses)
// is listed with its message and the remaining paths are still tried. Synchronous.
Outcome trash(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes);

// Shows the paths selected in the file manager; an empty list does nothing.
void revealInFinder(DesktopActions& desktop, const std::vector<std::string>& paths);

} // namespace tallymere::TrashService
