#pragma once
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The one way the program looks at a path that a user chose or a scanned tree holds, outside the
// scanner's own walk of its folders. A call on a path that lies on a local disk file system is made
// directly, on the calling thread. A call on a FUSE, network or unknown file system, whose server
// may stop answering and leave whoever asked blocked in the kernel for good (no signal frees such
// a thread, and a process ends only when its last thread has), is made by a small helper process
// of the program's own and waited for at most answerLimit: no thread of this program ever waits in
// the kernel on such a mount, so the program can always end.
//
// The mount a path lies on is found from the mount table alone: the path made absolute against the
// working folder, each link on the way read through the gate itself. Every function may be called
// from any thread. Paths are raw bytes.
namespace tallymere::PathGate {

// How long a call on a file system that may stop answering is waited for, counted from the call.
// A mount that lets a call run past it is known not to answer from then on: every call on it
// is told so at once, until a check in the background sees it answer again.
constexpr std::chrono::milliseconds answerLimit{2000};

// The error of a call whose file system did not answer within answerLimit (or whose mount is known
// not to answer). No errno value is negative.
constexpr int notAnswering = -1;
// The error of a call that changes something (a write, a rename, a removal, a folder made, a move
// to the Trash) whose helper ended after it was sent and before it answered: it may have happened
// or not, and it is never sent again.
constexpr int unknownOutcome = -2;

// "Its file system does not answer" for notAnswering, "Could not tell whether it happened" for
// unknownOutcome, else the system's message for the errno.
std::string message(int error);

// An error of 0 means the call succeeded; else an errno value or notAnswering.
struct Status {
    int error = 0;
    struct stat info {};
};
struct Text {
    int error = 0;
    std::string text;
};
struct Space {
    int error = 0;
    struct statvfs info {};
};
struct Listing {
    int error = 0;
    std::vector<std::string> names; // every entry but "." and "..", in the folder's order
};

// stat (links followed) and lstat (a final link not followed).
Status stat(const std::string& path);
Status lstat(const std::string& path);
// The same for many paths at once (mount points, recent folders): each mount that needs a helper is
// asked by its own, all at once, under one bound, so however many of them never answer the whole
// costs `limit` at most. In order.
std::vector<Status> statEach(const std::vector<std::string>& paths, std::chrono::milliseconds limit = answerLimit);
std::vector<Status> lstatEach(const std::vector<std::string>& paths, std::chrono::milliseconds limit = answerLimit);

// The target of the link at `path`, as written in it.
Text readLink(const std::string& path);
// The absolute path of the item `path` names, every link resolved and every "." and ".." taken;
// a relative path is taken against the working folder. The item must exist.
Text realPath(const std::string& path);

// Capacity of the file system holding `path`; for many at once, as statEach.
Space statVfs(const std::string& path);
std::vector<Space> statVfsEach(const std::vector<std::string>& paths);

// The names in the folder at `path`.
Listing list(const std::string& path);

// At most `limit` bytes of the regular file at `path` (links followed), from byte `offset`. Anything
// else (a pipe, a device, a folder) is refused with EINVAL without being opened for reading, since
// merely opening some of them acts on them.
Text readFile(const std::string& path, std::uint64_t offset, std::size_t limit);

// Replaces the file at `path` with `bytes` as a whole: written to a new file beside it, then renamed
// over it, so a failed write leaves the old file as it was, and no new file behind (one on a mount
// that stopped answering is removed once it answers again). On a mount a helper writes to, the
// bytes go in stretches, each its own bounded call, so a file of any size reaches a slow mount that
// answers. An item at `path` that is not a regular file (a folder, a pipe, a device, a link) is
// refused with EINVAL and left alone.
int writeFile(const std::string& path, const std::string& bytes);

// One regular file held for reading (links followed). Where it lies on a local disk it is open in
// this process, and reads are plain reads of that descriptor. Elsewhere nothing of it is held here:
// each look and read is a call of the gate, bounded as any other (a descriptor of a file on such a
// mount would wait on its server even to be closed). Anything but a regular file is refused with
// EINVAL without being opened for reading. Not for use by two threads at once.
class Reader {
public:
    explicit Reader(const std::string& path);
    Reader(Reader&& other) noexcept;
    Reader& operator=(Reader&& other) noexcept;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader();

    // 0 once the file is held; else why not (an errno value, EINVAL for no regular file, notAnswering).
    int error() const { return m_error; }
    // The file as it was when held.
    const struct stat& info() const { return m_info; }
    // The file as it is now (through the descriptor where there is one).
    Status look() const;
    // At most `limit` bytes from `offset`: fewer only at the end of the file. An error leaves the
    // text empty.
    Text read(std::uint64_t offset, std::size_t limit) const;
    // The open descriptor on a local disk; -1 where the file lies elsewhere, or is not held.
    int descriptor() const { return m_fd; }

private:
    int m_error = 0;
    int m_fd = -1;
    std::string m_path; // where the file lies on a mount a helper reads
    struct stat m_info {};
};

// One entry of a folder read for a scan, and what a look at it (not following a link) found.
struct FolderEntry {
    std::string name;       // raw bytes
    unsigned char type = 0; // the listing's DT_ type
    int error = 0;          // the look failed (an errno): only the name and type are known
    mode_t mode = 0;        // S_IFMT bits
    std::uint64_t links = 0, device = 0, inode = 0;
    std::int64_t size = 0, allocated = 0; // allocated in bytes (blocks of 512)
    double modified = 0, created = 0;     // created 0 where the file system keeps no birth time
};
struct Folder {
    int error = 0;
    std::vector<FolderEntry> entries; // in the listing's order
};

// The entries of the folder at `path` (a physical path: no link on the way or at its end is
// followed), each looked at; pipes, sockets and devices as the listing names them are left out, and
// so are names beginning with "." unless `includeHidden`. On a mount a helper reads, the entries
// come as they are read, and the bound counts from the last of them: a large folder on a slow
// mount is read whole while it moves. ECANCELED once `cancel` is set (looked at as it waits).
Folder readFolder(const std::string& path, bool includeHidden, const std::atomic<bool>* cancel = nullptr);

// Whether calls on `path` (absolute, physical) are made by a helper: the way to it enters a mount
// that may stop answering.
bool needsHelper(const std::string& path);

// Keeps up to `count` more helpers ready between calls while it lives, for work that makes many
// calls at once on such mounts (a scan reading one): starting a helper costs far more than a call.
class HelperReserve {
public:
    explicit HelperReserve(int count);
    ~HelperReserve();
    HelperReserve(const HelperReserve&) = delete;
    HelperReserve& operator=(const HelperReserve&) = delete;

private:
    int m_count;
};

// rename(2), unlink(2) of a file, mkdir(2): 0 or the error.
int rename(const std::string& from, const std::string& to);
int removeFile(const std::string& path);
int makeFolder(const std::string& path, mode_t mode);
// The folder at `path` and those missing above it, made with mode 0777 (the umask applies): 0 once it
// is a folder, made now or there already; else the error of the first that could not be made
// (ENOTDIR where something else has its name).
int makeFolders(const std::string& path);

} // namespace tallymere::PathGate
