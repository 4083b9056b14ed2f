#include "services/SnapshotStore.h"
#include "platform/OwnPlace.h"

#include "base/PathText.h"
#include "core/ByteFormat.h"
#include "core/DiskScanner.h"
#include "platform/PathGate.h"
#include "platform/UserFolders.h"
#include "services/SnapshotCodec.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <unordered_map>

#include <sys/stat.h>

namespace tallymere::SnapshotStore {
namespace {

// Every look at the folder and its files goes through the path gate: a data folder on a mount that
// stopped answering costs the gate's bound, and no thread of the program waits on it.

using PathGate::makeFolders;

// Creates the folder with its parents; a failure is left for the operation that follows to meet.
// Only in the user's own place: listing another user's snapshots (root started with that user's
// HOME) must not leave folders there that the user can neither change nor remove.
const std::string& prepared(const std::string& folder) {
    if (OwnPlace::whyNotOwn(folder).empty()) makeFolders(folder);
    return folder;
}

std::string fileName(const Snapshot& snapshot) { return snapshot.id.text() + ".json"; }

using PathText::joined;

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw SaveError(what + " " + path + ": " + PathGate::message(error));
}

// A file on a mount that may stop answering is read in pieces, each one call of the gate within its
// bound; one on a local disk in one read.
constexpr std::size_t readPiece = std::size_t{4} << 20;

// The whole content of a regular file; none for anything else (a FIFO would block a reader, a
// folder cannot be read, a link would list its target twice), for a file above the size limit, or
// on a read error. `modified`, when given, receives the file's modification time.
std::optional<std::string> readRegularFile(const std::string& path, timespec* modified = nullptr) {
    const PathGate::Status name = PathGate::lstat(path);
    if (name.error || !S_ISREG(name.info.st_mode) || name.info.st_size > maxFileBytes) return std::nullopt;
    const PathGate::Reader file(path);
    // The file held must be the one looked at, not a link put in its place since.
    if (file.error() || file.info().st_dev != name.info.st_dev || file.info().st_ino != name.info.st_ino)
        return std::nullopt;
    if (modified) *modified = file.info().st_mtim;
    const auto limit = static_cast<std::size_t>(maxFileBytes);
    // One byte past the size it had tells a file that grew while it was read; it is held to the
    // same limit.
    const std::size_t whole = std::min(static_cast<std::size_t>(std::max<off_t>(file.info().st_size, 0)), limit) + 1;
    std::string content;
    for (std::size_t want = file.descriptor() >= 0 ? whole : std::min(whole, readPiece);; want = readPiece) {
        PathGate::Text piece = file.read(content.size(), want);
        if (piece.error) return std::nullopt;
        const bool ended = piece.text.size() < want;
        if (content.empty()) content = std::move(piece.text);
        else content += piece.text;
        if (content.size() > limit) return std::nullopt;
        if (ended) return content;
    }
}

// A name's extension is what follows its last dot, unless that dot begins the name.
bool hasJsonExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 && name.substr(dot + 1) == "json";
}

double secondsSince1970() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Differences of 64-bit sizes read from files can exceed 64 bits.
using Wide = __int128;
Wide magnitude(Wide value) { return value < 0 ? -value : value; }

} // namespace

std::string defaultFolder() {
    const std::string data = UserFolders::dataHome();
    return data.empty() ? std::string() : joined(data, "Tallymere/Snapshots");
}

Snapshot capture(const FileNode& root, std::string title, bool useAllocated, int maxDepth, std::int64_t minSize) {
    std::vector<Snapshot::Entry> entries;
    entries.reserve(4096);
    const std::int64_t visitFrom = minSize / 8;
    // Wider than int so that maxDepth + 2 cannot overflow.
    const std::int64_t recordTo = maxDepth;
    const std::int64_t enterBelow = recordTo + 2;

    std::vector<const FileNode*> stack{&root};
    while (!stack.empty()) {
        const FileNode* node = stack.back();
        stack.pop_back();
        const std::int64_t bytes = node->bytes(useAllocated);
        const std::int64_t depth = node->depth;
        if (depth <= recordTo || bytes >= minSize)
            entries.push_back({node->displayPath(), bytes, node->fileCount, static_cast<bool>(node->isDirectory)});
        if (depth < enterBelow && node->hasChildren() && !node->isPackage) {
            for (const FileNode* child : node->children())
                if (child->bytes(useAllocated) >= visitFrom) stack.push_back(child);
        }
    }

    Snapshot snapshot;
    snapshot.id = Uuid::random();
    snapshot.createdAt = secondsSince1970();
    snapshot.rootPath = root.displayPath();
    snapshot.title = std::move(title);
    snapshot.totalSize = root.bytes(useAllocated);
    snapshot.totalFiles = root.fileCount;
    snapshot.entries = std::move(entries);
    return snapshot;
}

void save(const Snapshot& snapshot) { save(snapshot, defaultFolder()); }

void save(const Snapshot& snapshot, const std::string& folder) {
    if (folder.empty()) throw SaveError("no folder for snapshots: neither XDG_DATA_HOME nor a home folder is set");
    if (const std::string foreign = OwnPlace::whyNotOwn(folder); !foreign.empty())
        throw SaveError("cannot save in " + folder + ": " + foreign);
    // The folder's own failure is the one to report, not the file's ENOENT after it.
    if (const int error = makeFolders(folder)) fail("cannot create the folder", folder, error);
    const std::string target = joined(folder, fileName(snapshot));
    const std::string bytes = SnapshotCodec::encode(snapshot); // may throw before anything is written
    if (static_cast<std::int64_t>(bytes.size()) > maxFileBytes)
        throw SaveError("cannot save a snapshot of " + std::to_string(snapshot.entries.size()) + " entries: its " +
                        std::to_string(bytes.size() >> 20) + std::string(ByteFormat::noBreakSpace) +
                        "MB are more than a snapshot file may hold (" + std::to_string(maxFileBytes >> 20) +
                        std::string(ByteFormat::noBreakSpace) + "MB)");
    // Written to a hidden file beside it (whose name does not end in ".json", so a listing running
    // meanwhile never picks it up), synced, then renamed over it: no reader ever sees a partial file.
    if (const int error = PathGate::writeFile(target, bytes)) fail("cannot write", target, error);
}

std::vector<Snapshot> load() { return load(defaultFolder()); }

std::vector<Snapshot> load(const std::string& folder) {
    std::vector<Snapshot> snapshots;
    if (folder.empty()) return snapshots;
    PathGate::Listing listing = PathGate::list(prepared(folder));
    if (listing.error) return snapshots;
    std::vector<std::string> names;
    for (std::string& name : listing.names)
        if (hasJsonExtension(name)) names.push_back(std::move(name));

    // The tab waits for this listing: the files are read and decoded on every processor at once,
    // each into its own slot, and collected in listing order afterwards.
    std::vector<std::optional<Snapshot>> decoded(names.size());
    std::vector<timespec> modified(names.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < names.size();) {
            // A file that cannot be held in memory is skipped like any unreadable one.
            try {
                std::string path = joined(folder, names[i]);
                if (const auto content = readRegularFile(path, &modified[i])) {
                    decoded[i] = SnapshotCodec::decode(*content);
                    if (decoded[i]) decoded[i]->file = std::move(path);
                }
            } catch (const std::bad_alloc&) {
            }
        }
    };
    {
        const std::size_t width =
            std::min<std::size_t>(names.size(), static_cast<std::size_t>(DiskScanner::activeProcessors()));
        std::vector<std::jthread> workers;
        for (std::size_t w = 1; w < width; ++w) workers.emplace_back(work);
        work();
    }
    // One row per id: a copy listed beside its original would be marked, paired and deleted as one
    // snapshot while being two files.
    const auto isNewer = [&](std::size_t a, std::size_t b) {
        if (decoded[a]->createdAt != decoded[b]->createdAt) return decoded[a]->createdAt > decoded[b]->createdAt;
        if (modified[a].tv_sec != modified[b].tv_sec) return modified[a].tv_sec > modified[b].tv_sec;
        return modified[a].tv_nsec > modified[b].tv_nsec;
    };
    std::unordered_map<Uuid, std::size_t> newest;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (!decoded[i]) continue;
        const auto [kept, added] = newest.try_emplace(decoded[i]->id, i);
        if (added) continue;
        const std::size_t older = isNewer(i, kept->second) ? std::exchange(kept->second, i) : i;
        decoded[older].reset();
    }
    for (auto& snapshot : decoded)
        if (snapshot) snapshots.push_back(std::move(*snapshot));
    std::stable_sort(snapshots.begin(), snapshots.end(),
                     [](const Snapshot& a, const Snapshot& b) { return a.createdAt > b.createdAt; });
    return snapshots;
}

void remove(const Snapshot& snapshot) { remove(snapshot, defaultFolder()); }

void remove(const Snapshot& snapshot, const std::string& folder) { tryRemove(snapshot, folder); }

std::string tryRemove(const Snapshot& snapshot) { return tryRemove(snapshot, defaultFolder()); }

std::string tryRemove(const Snapshot& snapshot, const std::string& folder) {
    std::string path = snapshot.file;
    if (path.empty()) {
        if (folder.empty()) return "no folder for snapshots: neither XDG_DATA_HOME nor a home folder is set";
        path = joined(prepared(folder), fileName(snapshot));
    }
    const PathGate::Status name = PathGate::lstat(path);
    if (name.error == ENOENT) return {};
    if (name.error) return "cannot remove " + path + ": " + PathGate::message(name.error);
    // The list may be old: a file renamed or rewritten since holds another snapshot now, and that
    // one was not asked for.
    const auto content = readRegularFile(path);
    const auto held = content ? SnapshotCodec::decode(*content) : std::nullopt;
    if (!held || held->id != snapshot.id) return "cannot remove " + path + ": the file no longer holds this snapshot";
    if (const int error = PathGate::removeFile(path); error != 0 && error != ENOENT)
        return "cannot remove " + path + ": " + PathGate::message(error);
    return {};
}

std::vector<SnapshotDelta> diff(const Snapshot& from, const Snapshot& to, std::int64_t minDelta) {
    // Path -> (size, index of the path's last entry): the last entry of a repeated path counts, and
    // walking the entries in order while skipping earlier repeats gives a reproducible order.
    struct Last {
        std::int64_t size;
        std::size_t index;
    };
    const auto mapOf = [](const Snapshot& snapshot) {
        std::unordered_map<std::string_view, Last> map;
        map.reserve(snapshot.entries.size());
        for (std::size_t i = 0; i < snapshot.entries.size(); ++i)
            map.insert_or_assign(std::string_view(snapshot.entries[i].path), Last{snapshot.entries[i].size, i});
        return map;
    };
    const auto before = mapOf(from);
    const auto after = mapOf(to);
    const Wide m = minDelta;

    std::vector<SnapshotDelta> candidates;
    const auto add = [&](const std::string& path, std::int64_t old, std::int64_t now, SnapshotDelta::Change change) {
        candidates.push_back({path, PathText::lastComponent(path), old, now, change});
    };
    for (std::size_t i = 0; i < to.entries.size(); ++i) {
        const auto& entry = to.entries[i];
        if (after.at(entry.path).index != i) continue;
        const auto old = before.find(entry.path);
        if (old != before.end()) {
            const Wide c = Wide(entry.size) - old->second.size;
            if (magnitude(c) >= m)
                add(entry.path, old->second.size, entry.size,
                    c >= 1 ? SnapshotDelta::Change::grew : SnapshotDelta::Change::shrank);
        } else if (entry.size >= minDelta) {
            add(entry.path, 0, entry.size, SnapshotDelta::Change::added);
        }
    }
    for (std::size_t i = 0; i < from.entries.size(); ++i) {
        const auto& entry = from.entries[i];
        if (before.at(entry.path).index != i || after.contains(entry.path)) continue;
        if (entry.size >= minDelta) add(entry.path, entry.size, 0, SnapshotDelta::Change::removed);
    }

    // Candidates grouped by parent path, as indices in candidate order.
    std::unordered_map<std::string, std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::string parent = PathText::parent(candidates[i].path);
        if (parent.empty() || parent == candidates[i].path) continue;
        groups[std::move(parent)].push_back(i);
    }

    const auto change = [](const SnapshotDelta& delta) { return Wide(delta.after) - delta.before; };
    std::vector<SnapshotDelta> retained;
    for (const auto& candidate : candidates) {
        const Wide c = change(candidate);
        const Wide tolerance = magnitude(c) > 4 ? magnitude(c) / 5 : 1;
        bool redundant = false;
        if (const auto group = groups.find(candidate.path); group != groups.end()) {
            redundant = std::any_of(group->second.begin(), group->second.end(), [&](std::size_t k) {
                return magnitude(change(candidates[k]) - c) <= tolerance;
            });
        }
        if (!redundant) retained.push_back(candidate);
    }
    std::stable_sort(retained.begin(), retained.end(), [&](const SnapshotDelta& a, const SnapshotDelta& b) {
        return magnitude(change(a)) > magnitude(change(b));
    });
    return retained;
}

} // namespace tallymere::SnapshotStore
