#include "platform/gate/GateOps.h"

#include "base/PathText.h"
#include "platform/RegularFile.h"
#include "platform/gate/GateFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <random>

namespace tallymere::gate {
namespace {

template <class Record>
Reply record(const Record& value) {
    Reply reply;
    reply.data.assign(reinterpret_cast<const char*>(&value), sizeof value);
    return reply;
}

// The name to hand an *at call: the item's own name in its folder, or "" for the held item itself.
const char* nameIn(const Place& place) { return place.name.empty() ? "" : place.name.c_str(); }
int emptyPathFlag(const Place& place) { return place.name.empty() ? AT_EMPTY_PATH : 0; }

Reply statOf(const Place& place) {
    if (place.hasInfo) return record(place.info);
    struct stat info {};
    if (::fstatat(place.handle.get(), nameIn(place), &info, emptyPathFlag(place) | AT_SYMLINK_NOFOLLOW) != 0)
        return failure(errno);
    return record(info);
}

Reply readLinkOf(const Place& place) {
    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(place.handle.get(), nameIn(place), target, sizeof target);
    if (length < 0) return failure(errno);
    Reply reply;
    reply.texts.emplace_back(target, static_cast<std::size_t>(length));
    return reply;
}

Reply realPathOf(const Place& place) {
    Reply reply;
    if (!place.path.empty()) {
        reply.texts.push_back(place.path);
        return reply;
    }
    // Found by the kernel: its descriptor's link in /proc tells the path it took.
    char target[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(place.handle.get());
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    if (length < 0) return failure(errno);
    reply.texts.emplace_back(target, static_cast<std::size_t>(length));
    return reply;
}

Reply listOf(const Place& place) {
    const int fd = ::openat(place.handle.get(), place.name.empty() ? "." : place.name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    DIR* folder = ::fdopendir(fd);
    if (!folder) {
        const int error = errno;
        ::close(fd);
        return failure(error);
    }
    Reply reply;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") reply.texts.emplace_back(name);
        errno = 0;
    }
    reply.error = errno;
    ::closedir(folder);
    return reply;
}

// Opened for reading only once the held item shows itself a regular file: opening a pipe or a
// device acts on it.
Reply readOf(const Place& place, std::uint64_t offset, std::uint64_t limit) {
    struct stat held {};
    if (::fstatat(place.handle.get(), nameIn(place), &held, emptyPathFlag(place) | AT_SYMLINK_NOFOLLOW) != 0)
        return failure(errno);
    if (!S_ISREG(held.st_mode)) return failure(EINVAL);
    const std::string link = "/proc/self/fd/" + std::to_string(place.handle.get());
    const int fd = place.name.empty()
                       ? ::open(link.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                       : ::openat(place.handle.get(), place.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_dev != held.st_dev || opened.st_ino != held.st_ino) {
        ::close(fd);
        return failure(EINVAL);
    }
    Reply reply;
    const std::uint64_t size = static_cast<std::uint64_t>(opened.st_size);
    std::uint64_t wanted = offset < size ? std::min(limit, size - offset) : 0;
    reply.data.resize(wanted);
    std::size_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::pread(fd, reply.data.data() + got, wanted - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reply.error = errno;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    reply.data.resize(got);
    ::close(fd);
    return reply;
}

using RegularFile::writeAll;

// The item at `name` in `folder` may be written over: it is a regular file or not there. Its mode,
// kept for the new file, or 0666 for none.
int writableMode(int folder, const char* name, mode_t& mode, bool& exists) {
    struct stat existing {};
    mode = 0666;
    exists = false;
    if (::fstatat(folder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(existing.st_mode)) return EINVAL;
        mode = existing.st_mode & 07777;
        exists = true;
        return 0;
    }
    return errno == ENOENT ? 0 : errno;
}

// Claims a new part file beside the item, with the item's mode when there is one. -1 with `error`.
int claimPartFile(int folder, mode_t mode, bool exists, std::string& name, int& error) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".tallymere-" + std::to_string(random()) + ".part";
        const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            error = errno;
            return -1;
        }
        if (exists && ::fchmod(fd, mode) != 0) {
            error = errno;
            ::close(fd);
            ::unlinkat(folder, name.c_str(), 0);
            return -1;
        }
        return fd;
    }
    error = EEXIST;
    return -1;
}

// A new file beside the item, filled and then renamed over it: a reader sees the old file or the
// new one whole, and a failure leaves the old one as it was.
Reply writeOf(const Place& place, const std::string& bytes) {
    const int folder = place.handle.get();
    mode_t mode = 0;
    bool exists = false;
    if (const int refused = writableMode(folder, place.name.c_str(), mode, exists)) return failure(refused);
    std::string temporary;
    int error = 0;
    const int fd = claimPartFile(folder, mode, exists, temporary, error);
    if (fd < 0) return failure(error);
    if (!writeAll(fd, bytes)) error = errno;
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::renameat(folder, temporary.c_str(), folder, place.name.c_str()) != 0) error = errno;
    if (error) ::unlinkat(folder, temporary.c_str(), 0);
    return failure(error);
}

// The same in stretches, each its own call, for a mount a helper writes to: the part file is
// claimed (its name the reply), written a stretch at a time, each flushed before its reply, then
// flushed whole and renamed over the item.
Reply beginWriteOf(const Place& place) {
    mode_t mode = 0;
    bool exists = false;
    if (const int refused = writableMode(place.handle.get(), place.name.c_str(), mode, exists)) return failure(refused);
    Reply reply;
    std::string name;
    const int fd = claimPartFile(place.handle.get(), mode, exists, name, reply.error);
    if (fd < 0) return reply;
    reply.error = ::close(fd) == 0 ? 0 : errno;
    if (reply.error) ::unlinkat(place.handle.get(), name.c_str(), 0);
    else reply.texts.push_back(name);
    return reply;
}

Reply writeAtOf(const Place& place, const std::string& bytes, std::uint64_t offset) {
    const int fd = ::openat(place.handle.get(), place.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    int error = 0;
    std::size_t written = 0;
    while (!error && written < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + written, bytes.size() - written, static_cast<off_t>(offset + written));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        else written += static_cast<std::size_t>(n);
    }
    if (!error && ::fdatasync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    return failure(error);
}

Reply finishWriteOf(const Place& place, const std::string& target) {
    const int folder = place.handle.get();
    const std::string name = PathText::lastComponent(target);
    mode_t mode = 0;
    bool exists = false;
    if (const int refused = writableMode(folder, name.c_str(), mode, exists)) return failure(refused);
    const int fd = ::openat(folder, place.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    int error = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::renameat(folder, place.name.c_str(), folder, name.c_str()) != 0) error = errno;
    return failure(error);
}

} // namespace

Reach reachOf(Op op) {
    switch (op) {
    case Op::stat:
    case Op::realPath:
    case Op::statVfs:
    case Op::list:
    case Op::readFile: return Reach::item;
    case Op::lstat:
    case Op::readLink:
    case Op::readFolder: return Reach::itemItself;
    default: return Reach::folder;
    }
}

bool takesWholePath(Op op) {
    return op == Op::moveToTrash || op == Op::whyChanged || op == Op::readLauncher || op == Op::listLaunchers;
}

Reply perform(const Request& request, const Place& place) {
    switch (request.op) {
    case Op::stat:
    case Op::lstat: return statOf(place);
    case Op::readLink: return readLinkOf(place);
    case Op::realPath: return realPathOf(place);
    case Op::statVfs: {
        struct statvfs info {};
        if (::fstatvfs(place.handle.get(), &info) != 0) return failure(errno);
        return record(info);
    }
    case Op::list: return listOf(place);
    case Op::readFile: return readOf(place, request.number, request.limit);
    case Op::writeFile: return writeOf(place, request.texts.size() > 1 ? request.texts[1] : std::string());
    case Op::beginWrite: return beginWriteOf(place);
    case Op::writeAt: return writeAtOf(place, request.texts.size() > 1 ? request.texts[1] : std::string(), request.number);
    case Op::finishWrite:
        if (request.texts.size() < 2 || PathText::parent(request.texts[1]) != PathText::parent(request.texts[0]))
            return failure(EINVAL);
        return finishWriteOf(place, request.texts[1]);
    case Op::removeFile: return failure(::unlinkat(place.handle.get(), place.name.c_str(), 0) == 0 ? 0 : errno);
    case Op::makeFolder:
        return failure(::mkdirat(place.handle.get(), place.name.c_str(), static_cast<mode_t>(request.number)) == 0 ? 0
                                                                                                               : errno);
    case Op::readFolder: {
        // Opened from the held item itself: a link there is no folder.
        const int fd = ::openat(place.handle.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return failure(errno == ENOTDIR || errno == ELOOP ? ENOTDIR : errno);
        return readFolderAt(fd, request.number, nullptr);
    }
    default: return failure(EINVAL);
    }
}

namespace {

std::atomic<WholePathCall>& providedCall(Op op) {
    static std::array<std::atomic<WholePathCall>, static_cast<std::size_t>(lastOp) + 1> calls{};
    return calls.at(static_cast<std::size_t>(op));
}

} // namespace

void provide(Op op, WholePathCall call) { providedCall(op).store(call, std::memory_order_release); }

Reply performPlainly(const Request& request, const SendPart* send) {
    if (takesWholePath(request.op)) {
        if (const WholePathCall call = providedCall(request.op).load(std::memory_order_acquire)) return call(request);
        return failure(ENOSYS);
    }
    if (request.texts.empty() || request.texts[0].empty()) return failure(ENOENT);
    const std::string& path = request.texts[0];
    if (request.op == Op::rename) {
        if (request.texts.size() < 2) return failure(EINVAL);
        return failure(::rename(path.c_str(), request.texts[1].c_str()) == 0 ? 0 : errno);
    }
    if (request.op == Op::readFolder) {
        const int fd = openFolderPlainly(path);
        if (fd < 0) return failure(errno == ELOOP ? ENOTDIR : errno);
        return readFolderAt(fd, request.number, send);
    }
    Place place;
    const Reach reach = reachOf(request.op);
    if (reach != Reach::folder) {
        place.handle = OwnedFd(::open(path.c_str(), O_PATH | O_CLOEXEC | (reach == Reach::itemItself ? O_NOFOLLOW : 0)));
    } else {
        const std::string name = PathText::lastComponent(path);
        const std::string folder = path.front() == '/' ? PathText::parent(path) : [&] {
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
        }();
        place.handle = OwnedFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        place.name = name == "/" ? "." : name;
    }
    if (!place.handle) return failure(errno);
    return perform(request, place);
}

} // namespace tallymere::gate
