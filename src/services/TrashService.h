#pragma once
#include "base/DesktopActions.h"
#include "core/FileNode.h"
#include "platform/FreedesktopTrash.h"

#include <cstdint>
#include <optional>
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
// everything inside it. What FreedesktopTrash refuses (a Trash, a place, a folder holding one)
// fails with its reason. Nothing is deleted, copied, de-duplicated or retried: a path that fails
// (missing, relative, "/", on a device whose Trash cannot be made, or anything rename refuses)
// is listed with its message and the remaining paths are still tried. Synchronous. The places are
// looked at once per call, which can take the gate's bound for each mount that does not answer:
// a caller on the window's thread passes the places it keeps instead.
Outcome trash(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes);
Outcome trash(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes,
              const PlaceRegistry& places);

// The same, where a path with an entry in `identities` moves only while it is still that item;
// one replaced since fails with "NAME changed since the scan".
Outcome trashScanned(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes,
                     const std::unordered_map<std::string, FreedesktopTrash::Identity>& identities);
// The same with the places looked at already (one look for a whole action); trash() and the call
// above look at them once per call.
Outcome trashScanned(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes,
                     const std::unordered_map<std::string, FreedesktopTrash::Identity>& identities,
                     const PlaceRegistry& places);

// The item a scanned node stands for; none for a node no scan met (built by hand or by a test).
std::optional<FreedesktopTrash::Identity> identityOf(const FileNode& node);

// Shows the paths selected in the file manager; an empty list does nothing.
void revealInFinder(DesktopActions& desktop, const std::vector<std::string>& paths);

} // namespace tallymere::TrashService
