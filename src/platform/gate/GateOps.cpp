#include "platform/gate/GateOps.h"

#include "base/PathText.h"

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

Reply failure(int error) {
    Reply reply;
    reply.error = error;
    return reply;
}

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

bool writeAll(int fd, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// A new file beside the item, filled and then renamed over it: a reader sees the old file or the
// new one whole, and a failure leaves the old one as it was.
Reply writeOf(const Place& place, const std::string& bytes) {
    const int folder = place.handle.get();
    struct stat existing {};
    mode_t mode = 0666;
    if (::fstatat(folder, place.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(existing.st_mode)) return failure(EINVAL);
        mode = existing.st_mode & 07777;
    } else if (errno != ENOENT) {
        return failure(errno);
    }
    std::random_device random;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = ".tallymere-" + std::to_string(random()) + ".part";
        fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return failure(errno);
    }
    if (fd < 0) return failure(EEXIST);
    int error = 0;
    if (!writeAll(fd, bytes)) error = errno;
    if (!error && existing.st_mode && ::fchmod(fd, mode) != 0) error = errno;
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::renameat(folder, temporary.c_str(), folder, place.name.c_str()) != 0) error = errno;
    if (error) ::unlinkat(folder, temporary.c_str(), 0);
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
    case Op::readLink: return Reach::itemItself;
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
    case Op::removeFile: return failure(::unlinkat(place.handle.get(), place.name.c_str(), 0) == 0 ? 0 : errno);
    case Op::makeFolder:
        return failure(::mkdirat(place.handle.get(), place.name.c_str(), static_cast<mode_t>(request.number)) == 0 ? 0
                                                                                                               : errno);
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

Reply performPlainly(const Request& request) {
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
