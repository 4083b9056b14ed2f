#pragma once
#include "core/FileNode.h"
#include "services/Snapshot.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tallymere::SnapshotStore {

// Why a snapshot could not be saved; what() names the file and the system's reason.
struct SaveError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The largest snapshot file: below its top levels a capture records only items of at least 625 KB,
// so this holds over half a million of them, far past any real tree's shape. A larger file is not
// one of ours, and reading it would only spend memory and time; none is ever written.
constexpr std::int64_t maxFileBytes = std::int64_t{64} << 20;

// The folder that holds the snapshot files: "Tallymere/Snapshots" in the user's data folder. Only
// computes the path; the functions below create the folder. Empty when the user has no data folder.
std::string defaultFolder();

// The shape of the tree below `root`: every visited node down to `maxDepth` and every visited node
// of at least `minSize` bytes (allocated or logical), in pre-order with siblings from the last
// stored child to the first. A node is entered when its depth is below maxDepth + 2 and it is not a
// package; of its children only those of at least minSize / 8 bytes are visited. A fresh id, the
// current time. Touches no file.
Snapshot capture(const FileNode& root, std::string title, bool useAllocated, int maxDepth, std::int64_t minSize);

// Writes the snapshot to "<ID>.json" in the folder (created with its parents first), replacing its
// own earlier file. The bytes go to a hidden temporary file in the same folder, are synced and then
// renamed over the target, so no reader ever sees a partial file. Throws SaveError (or
// SnapshotCodec::EncodingError) and leaves no file behind on failure; also, before anything is
// made, for a folder that is another user's place (see OwnPlace::whyNotOwn), and for a snapshot
// whose file would be larger than maxFileBytes (it could never be read back).
void save(const Snapshot& snapshot);
void save(const Snapshot& snapshot, const std::string& folder);

// Every readable snapshot file of the folder ("*.json"), newest first; snapshots of equal date stay
// in directory listing order. Each carries the file it was read from. Of several files with one id
// (a copy, a renamed file beside its original) only the newest is listed: the latest creation
// date, then the latest modification of the file. Files that cannot be read or decoded, and
// files larger than maxFileBytes (never read), are skipped; an unlistable folder gives an empty
// list. Each file is read in memory of about twice its size. Never throws.
std::vector<Snapshot> load();
std::vector<Snapshot> load(const std::string& folder);

// Removes the file the snapshot was read from ("<ID>.json" in the folder for one never read back),
// but only while that file still holds a snapshot of the same id: a file replaced meanwhile by
// another snapshot is left alone. A missing file and every error are ignored.
void remove(const Snapshot& snapshot);
void remove(const Snapshot& snapshot, const std::string& folder);

// The same for a caller that reports failures: empty when the snapshot's file is gone (also when
// it was missing already or no longer holds that snapshot), else the system's reason with the
// file's path.
std::string tryRemove(const Snapshot& snapshot);
std::string tryRemove(const Snapshot& snapshot, const std::string& folder);

// The paths that changed by at least minDelta bytes from the older snapshot `from` to the newer
// `to`, largest change first. A folder whose change is, within a fifth, the change of one of its
// direct children is left out, so a change is reported once, at the deepest path that carries it
// whole. When a snapshot repeats a path, its last entry counts. Touches no file.
std::vector<SnapshotDelta> diff(const Snapshot& from, const Snapshot& to, std::int64_t minDelta);

} // namespace tallymere::SnapshotStore
