#include "core/ScanEntries.h"

#include "base/InodeTag.h"
#include "base/Saturating.h"
#include "core/FileCategory.h"
#include "core/PlaceMarks.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tallymere::ScanWorker {

namespace {

using ScanFileSystem::EntryInfo;

// Entries in one share of a split folder: enough that taking a share costs nothing beside it.
constexpr std::size_t shareSize = 256;

// The full path of the entry `name` in the folder at `folderPath`, into `path`.
void pathInto(std::string& path, std::string_view folderPath, std::string_view name) {
    path.assign(folderPath == "/" ? std::string_view() : folderPath);
    path += '/';
    path.append(name);
}

// Whether the folder at `path` is one the scan leaves out.
bool isLeftOut(const ScanContext& context, const std::string& path) {
    return context.options.excludedPaths.contains(path) || context.boundaries.mountPoints.contains(path);
}

// A mount point that did not answer: a folder not read, which nothing looks at, since looking would
// wait on the mount as long as it hangs.
FileNode* unansweredFolder(std::string_view name, const FolderFrame& frame, ScanContext& context, NodeArena& arena) {
    bool isPackage = false;
    FileNode* folder = arena.makeNode(name, true, classifyDirectory(name, isPackage));
    folder->isPackage = isPackage;
    folder->depth = frame.childDepth;
    folder->isDenied = true;
    context.progress.addUnanswered();
    return folder;
}

} // namespace

FileNode* makeEntry(const FolderFrame& frame, const char* rawName, unsigned char type, ScanContext& context,
                    NodeArena& arena, std::string& path, EntryCounts& counts, const Looked* looked) {
    if (rawName[0] == '.') {
        if (rawName[1] == '\0' || (rawName[1] == '.' && rawName[2] == '\0')) return nullptr;
        if (!context.options.includeHidden) return nullptr;
    }
    if (type == DT_FIFO || type == DT_CHR || type == DT_BLK || type == DT_SOCK) return nullptr;
    const std::string_view name(rawName, std::strlen(rawName));

    // Tested before examining the entry, so a left-out network mount, or one that did not answer,
    // is never waited on. Anything can be mounted onto a name: with a mount that did not answer,
    // every name is tested.
    bool leftOut = false;
    Looked mounted;
    if (frame.testsPaths && (type == DT_DIR || type == DT_UNKNOWN || !context.unanswered.empty())) {
        pathInto(path, frame.folderPath, name);
        if (context.unanswered.contains(path)) return unansweredFolder(name, frame, context, arena);
        leftOut = isLeftOut(context, path);
        if (leftOut && type == DT_DIR) return nullptr;
        if (!looked && !context.remoteMountPoints.empty())
            if (const EntryInfo* known = context.remoteMountPoint(path)) {
                mounted.info = *known;
                looked = &mounted;
            }
    }

    EntryInfo info;
    const bool examined = looked ? (errno = looked->error) == 0 : ScanFileSystem::examine(frame.fd, rawName, info, context.capabilities);
    if (looked && examined) info = looked->info;
    if (!examined) {
        // A folder the listing names but that cannot be looked at (its parent readable but not
        // searchable, a mount that refuses this user) is not gone: it is tried like any folder,
        // and fails there as one that could not be read, rather than dropping out unseen.
        if (errno != EACCES && errno != EPERM) return nullptr; // vanished
        if (type != DT_DIR) {
            // Anything else stays out of the tree, but the folder that hides it is told.
            if (frame.entryHidden) frame.entryHidden->store(true, std::memory_order_relaxed);
            return nullptr;
        }
        bool isPackage = false;
        FileNode* folder = arena.makeNode(name, true, classifyDirectory(name, isPackage));
        folder->isPackage = isPackage;
        folder->depth = frame.childDepth;
        return folder;
    }

    FileNode* node = nullptr;
    if (info.type == S_IFLNK) {
        node = arena.makeNode(name, false, FileCategory::data);
        node->isSymlink = true;
        node->size = info.size;
        node->allocated = info.allocated;
        node->fileCount = 1;
    } else if (info.type == S_IFDIR) {
        if (leftOut || context.isBoundary(info.device)) return nullptr;
        bool isPackage = false;
        const FileCategory category = classifyDirectory(name, isPackage);
        node = arena.makeNode(name, true, category);
        node->isPackage = isPackage;
        // Seen through another mount already: it stays, empty, and adds nothing a second time.
        if (!context.isFirstSighting(info.device, info.inode)) arena.setChildren(*node, {});
        if (!context.options.places.empty() &&
            PlaceMarks::mark(*node, context.options.places.at(info.device, info.inode), frame.folder->isProtected, name))
            context.noteMarked(node);
        if (looked == &mounted) context.addRemoteRoot(node);
    } else if (info.type == S_IFREG) {
        // A file met under another name already (a second link, or a mount of it) is in the tree once.
        const bool twoNames =
            info.links >= 2 || (!context.mountedFiles.empty() && context.isMountedFile(info.device, info.inode));
        if (twoNames && !context.hardLinks.insert(info.device, info.inode)) return nullptr;
        node = arena.makeNode(name, false, classifyFile(name));
        node->size = info.size;
        node->allocated = info.allocated;
        node->fileCount = 1;
        counts.files += 1;
        counts.bytes = saturatingAdd(counts.bytes, context.options.useAllocatedSize ? info.allocated : info.size);
    } else {
        return nullptr;
    }
    node->depth = frame.childDepth;
    node->modified = info.modified;
    node->created = info.created;
    node->hasIdentity = true;
    node->inodeTag = inodeTag(info.inode);
    return node;
}

void makeShares(SplitFolder& split, ScanContext& context, NodeArena& arena, std::string& path, EntryCounts& counts) {
    const std::size_t total = split.starts.size();
    for (;;) {
        const std::size_t share = split.nextShare.fetch_add(1, std::memory_order_relaxed);
        if (share >= split.shareCount) return;
        const std::size_t end = std::min(total, (share + 1) * shareSize);
        for (std::size_t i = share * shareSize; i < end; ++i) {
            if (context.progress.cancelled()) break;
            split.made[i] = makeEntry(split.frame, split.names.data() + split.starts[i], split.types[i], context, arena,
                                      path, counts);
        }
        // The live counts move share by share, so a huge folder is seen being counted.
        if (counts.files != 0 || counts.bytes != 0) {
            context.progress.add(counts.files, counts.bytes);
            counts = {};
        }
        // Release: the nodes of this share are written before the reader of the folder sees it done.
        if (split.sharesDone.fetch_add(1, std::memory_order_acq_rel) + 1 == split.shareCount)
            split.sharesDone.notify_all();
    }
}

void releaseShare(SplitFolder* split) {
    if (split->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete split;
}

void shareRest(const FolderFrame& frame, ScanContext& context, NodeArena& arena, Scratch& scratch,
               EntryCounts& counts) {
    auto* split = new SplitFolder;
    split->frame = frame;
    if (frame.testsPaths) {
        split->folderPath.assign(frame.folderPath);
        split->frame.folderPath = split->folderPath;
    }
    // The listing itself is quick; examining each entry is what takes the time. A folder of
    // millions still takes a second to list, so a cancel stops the listing too.
    while (!context.progress.cancelled()) {
        const long got = ::syscall(SYS_getdents64, frame.fd, scratch.entries, sizeof scratch.entries);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break; // an error keeps what was listed
        for (long offset = 0; offset < got;) {
            const auto* record = reinterpret_cast<const DirectoryRecord*>(scratch.entries + offset);
            offset += record->length;
            split->starts.push_back(static_cast<std::uint32_t>(split->names.size()));
            split->types.push_back(record->type);
            split->names.append(record->name, std::strlen(record->name) + 1);
        }
    }
    const std::size_t total = split->starts.size();
    split->made = std::make_unique<FileNode*[]>(total);
    split->shareCount = (total + shareSize - 1) / shareSize;

    // While threads still start as work appears, the shares are set out for as many as will run.
    const int threads = context.queue.isRamping() ? context.threadsAtOnce
                                                  : context.threadsStarted.load(std::memory_order_relaxed);
    const std::size_t helpers = std::min<std::size_t>(split->shareCount > 0 ? split->shareCount - 1 : 0,
                                                      threads > 1 ? static_cast<std::size_t>(threads - 1) : 0);
    if (helpers > 0) {
        split->holders.fetch_add(static_cast<int>(helpers), std::memory_order_relaxed);
        scratch.tasks.clear();
        scratch.tasks.resize(helpers, ScanQueue::Task{nullptr, nullptr, split});
        context.queue.share(scratch.tasks);
        scratch.tasks.clear();
    }
    makeShares(*split, context, arena, scratch.childPath, counts);
    for (std::size_t done = split->sharesDone.load(std::memory_order_acquire); done != split->shareCount;
         done = split->sharesDone.load(std::memory_order_acquire))
        split->sharesDone.wait(done, std::memory_order_acquire);

    for (std::size_t i = 0; i < total; ++i) {
        FileNode* node = split->made[i];
        if (!node) continue;
        scratch.children.push_back(node);
        if (node->isDirectory && !node->hasChildList() && !node->isDenied) scratch.subfolders.push_back(node);
    }
    releaseShare(split);
}

} // namespace tallymere::ScanWorker
