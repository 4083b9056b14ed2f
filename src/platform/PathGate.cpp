#include "platform/PathGate.h"

#include "base/PathText.h"
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GateOps.h"
#include "platform/gate/GatePool.h"
#include "platform/gate/MountPlace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <optional>
#include <system_error>

namespace tallymere::gate {
namespace {

static_assert(PathGate::notAnswering == noAnswer && PathGate::unknownOutcome == noOutcome,
              "the gate's helpers give these values");

// A call that cannot be made here, with the key of the mount it waits on.
struct Pending {
    Request request;
    std::string key;
};

// Makes the call here when its way allows; else says what to hand a helper.
std::optional<Reply> tryHere(const Request& request, Pending& pending) {
    if (makesCallsDirectly()) return performPlainly(request);
    const std::string& path = request.texts.empty() ? std::string() : request.texts[0];
    if (request.op == Op::listLaunchers || request.op == Op::readLauncher) {
        // The desktop's library looks at whatever the launchers name (programs on PATH, the
        // folders that hold them): never here.
        pending = {request, request.op == Op::listLaunchers ? "launchers" : "launcher " + path};
        return std::nullopt;
    }
    if (takesWholePath(request.op)) {
        // These follow no link: the mounts their way passes are those its text names.
        const std::string absolute = PathText::standardized(path);
        if (absolute.empty()) return failure(ENOENT);
        const auto table = MountTable::current();
        std::string mount = unansweringMountOnTheWay(*table, absolute);
        if (mount.empty()) return performPlainly(request);
        pending = {request, std::move(mount)};
        return std::nullopt;
    }
    if (request.op == Op::rename) {
        Place from = locate(path, Reach::folder);
        Place to = locate(request.texts.size() > 1 ? request.texts[1] : std::string(), Reach::folder);
        if (!from.needsHelper && from.error) return failure(from.error);
        if (!to.needsHelper && to.error) return failure(to.error);
        if (!from.needsHelper && !to.needsHelper)
            return failure(::renameat(from.handle.get(), from.name.c_str(), to.handle.get(), to.name.c_str()) == 0 ? 0 : errno);
        pending = {request, from.needsHelper ? from.mountPoint : to.mountPoint};
        if (from.needsHelper) pending.request.texts[0] = from.path;
        if (to.needsHelper) pending.request.texts[1] = to.path;
        return std::nullopt;
    }
    const Place place = locate(path, reachOf(request.op));
    if (!place.needsHelper) return place.error ? failure(place.error) : perform(request, place);
    pending = {request, place.mountPoint};
    pending.request.texts[0] = place.path;
    return std::nullopt;
}

} // namespace

std::vector<Reply> callEach(const std::vector<Request>& requests, std::chrono::milliseconds limit,
                            const std::atomic<bool>* cancel) {
    std::vector<Reply> replies(requests.size());
    std::vector<std::size_t> handed;
    std::vector<Request> toHelpers;
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        Pending pending;
        if (std::optional<Reply> reply = tryHere(requests[i], pending)) {
            replies[i] = std::move(*reply);
            continue;
        }
        handed.push_back(i);
        toHelpers.push_back(std::move(pending.request));
        keys.push_back(std::move(pending.key));
    }
    if (handed.empty()) return replies;
    std::vector<std::optional<Reply>> answers = askHelpers(toHelpers, keys, limit, cancel);
    for (std::size_t j = 0; j < handed.size(); ++j)
        replies[handed[j]] = answers[j] ? std::move(*answers[j]) : performPlainly(toHelpers[j]);
    return replies;
}

Reply call(Request request) {
    return std::move(callEach({std::move(request)}, PathGate::answerLimit).front());
}

int writeInStretches(const std::string& path, const std::string& key, const std::string& bytes) {
    // Sized from how long the last stretch took: doubled while quick, halved while slow.
    constexpr std::size_t smallest = 16 * 1024, first = 64 * 1024, largest = 4 * 1024 * 1024;
    constexpr auto quick = PathGate::answerLimit / 8, slow = PathGate::answerLimit / 4;
    const auto requestOf = [](Op op, std::vector<std::string> texts) {
        Request request;
        request.op = op;
        request.texts = std::move(texts);
        return request;
    };
    const Reply claimed = call(requestOf(Op::beginWrite, {path}));
    if (claimed.error) return claimed.error;
    if (claimed.texts.empty()) return EIO;
    const std::string folder = PathText::parent(path);
    const std::string part = (folder == "/" ? std::string() : folder) + "/" + claimed.texts.front();
    int error = 0;
    std::size_t stretch = first;
    for (std::size_t offset = 0; !error && offset < bytes.size();) {
        const std::size_t length = std::min(stretch, bytes.size() - offset);
        Request write = requestOf(Op::writeAt, {part, bytes.substr(offset, length)});
        write.number = offset;
        const auto started = std::chrono::steady_clock::now();
        error = call(std::move(write)).error;
        const auto took = std::chrono::steady_clock::now() - started;
        offset += length;
        if (took < quick) stretch = std::min(largest, stretch * 2);
        else if (took > slow) stretch = std::max(smallest, stretch / 2);
    }
    if (!error) error = call(requestOf(Op::finishWrite, {part, path})).error;
    if (!error) return 0;
    // A write that failed leaves nothing behind: its part file goes now, or once the mount answers.
    const int removed = call(requestOf(Op::removeFile, {part})).error;
    if (removed == PathGate::notAnswering || removed == PathGate::unknownOutcome) removeOnceAnswering(key, part);
    return error;
}

} // namespace tallymere::gate

namespace tallymere::PathGate {

using gate::call;
using gate::callEach;
using gate::Op;
using gate::Reply;
using gate::Request;

namespace {

Request requestOf(Op op, const std::string& path) {
    Request request;
    request.op = op;
    request.texts.push_back(path);
    return request;
}

template <class Record>
void recordOf(const Reply& reply, int& error, Record& out) {
    error = reply.error;
    if (!error && reply.data.size() == sizeof out) std::memcpy(&out, reply.data.data(), sizeof out);
    else if (!error) error = EIO;
}

Status statusOf(const Reply& reply) {
    Status status;
    recordOf(reply, status.error, status.info);
    return status;
}

Text textOf(const Reply& reply) {
    Text text;
    text.error = reply.error;
    if (!reply.error && !reply.texts.empty()) text.text = reply.texts.front();
    return text;
}

std::vector<Status> statusEach(Op op, const std::vector<std::string>& paths, std::chrono::milliseconds limit) {
    std::vector<Request> requests;
    for (const std::string& path : paths) requests.push_back(requestOf(op, path));
    std::vector<Status> result;
    for (const Reply& reply : callEach(requests, limit)) result.push_back(statusOf(reply));
    return result;
}

} // namespace


std::string message(int error) {
    if (error == notAnswering) return "Its file system does not answer";
    if (error == unknownOutcome) return "Could not tell whether it happened";
    return std::generic_category().message(error);
}

Status stat(const std::string& path) { return statusOf(call(requestOf(Op::stat, path))); }
Status lstat(const std::string& path) { return statusOf(call(requestOf(Op::lstat, path))); }
std::vector<Status> statEach(const std::vector<std::string>& paths, std::chrono::milliseconds limit) {
    return statusEach(Op::stat, paths, limit);
}
std::vector<Status> lstatEach(const std::vector<std::string>& paths, std::chrono::milliseconds limit) {
    return statusEach(Op::lstat, paths, limit);
}

Text readLink(const std::string& path) { return textOf(call(requestOf(Op::readLink, path))); }
Text realPath(const std::string& path) { return textOf(call(requestOf(Op::realPath, path))); }

Space statVfs(const std::string& path) { return statVfsEach({path}).front(); }

std::vector<Space> statVfsEach(const std::vector<std::string>& paths) {
    std::vector<Request> requests;
    for (const std::string& path : paths) requests.push_back(requestOf(Op::statVfs, path));
    std::vector<Space> result;
    for (const Reply& reply : callEach(requests, answerLimit)) {
        Space space;
        recordOf(reply, space.error, space.info);
        result.push_back(space);
    }
    return result;
}

Listing list(const std::string& path) {
    Reply reply = call(requestOf(Op::list, path));
    Listing listing;
    listing.error = reply.error;
    if (!reply.error) listing.names = std::move(reply.texts);
    return listing;
}

Text readFile(const std::string& path, std::uint64_t offset, std::size_t limit) {
    Request request = requestOf(Op::readFile, path);
    request.number = offset;
    request.limit = limit;
    Reply reply = call(std::move(request));
    Text text;
    text.error = reply.error;
    text.text = std::move(reply.data);
    return text;
}

int writeFile(const std::string& path, const std::string& bytes) {
    if (!gate::makesCallsDirectly()) {
        gate::Place place = gate::locate(path, gate::Reach::folder);
        if (!place.needsHelper && place.error) return place.error;
        if (place.needsHelper) return gate::writeInStretches(place.path, place.mountPoint, bytes);
    }
    Request request = requestOf(Op::writeFile, path);
    request.texts.push_back(bytes);
    return call(std::move(request)).error;
}

Reader::Reader(const std::string& path) {
    if (gate::makesCallsDirectly()) {
        m_path = path;
    } else {
        const gate::Place place = gate::locate(path, gate::Reach::item);
        if (place.needsHelper) {
            m_path = place.path;
        } else if (place.error) {
            m_error = place.error;
            return;
        } else {
            // Opened for reading only once the held item shows itself a regular file.
            if (::fstatat(place.handle.get(), "", &m_info, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
                m_error = errno;
                return;
            }
            if (!S_ISREG(m_info.st_mode)) {
                m_error = EINVAL;
                return;
            }
            const std::string held = "/proc/self/fd/" + std::to_string(place.handle.get());
            m_fd = ::open(held.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            struct stat opened {};
            if (m_fd < 0 || ::fstat(m_fd, &opened) != 0 || opened.st_dev != m_info.st_dev || opened.st_ino != m_info.st_ino) {
                m_error = m_fd < 0 ? errno : EINVAL;
                if (m_fd >= 0) ::close(m_fd);
                m_fd = -1;
            }
            return;
        }
    }
    const Status status = PathGate::stat(m_path);
    m_error = status.error ? status.error : S_ISREG(status.info.st_mode) ? 0 : EINVAL;
    m_info = status.info;
}

Reader::Reader(Reader&& other) noexcept
    : m_error(other.m_error), m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_info(other.m_info) {}

Reader& Reader::operator=(Reader&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_error = other.m_error;
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_info = other.m_info;
    }
    return *this;
}

Reader::~Reader() {
    if (m_fd >= 0) ::close(m_fd);
}

Status Reader::look() const {
    if (m_error) return Status{m_error, {}};
    if (m_fd < 0) return PathGate::stat(m_path);
    Status status;
    if (::fstat(m_fd, &status.info) != 0) status.error = errno;
    return status;
}

Text Reader::read(std::uint64_t offset, std::size_t limit) const {
    if (m_error) return Text{m_error, {}};
    if (m_fd < 0) return readFile(m_path, offset, limit);
    Text text;
    text.text.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::pread(m_fd, text.text.data() + got, limit - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            text.error = errno;
            text.text.clear();
            return text;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.text.resize(got);
    return text;
}

Folder readFolder(const std::string& path, bool includeHidden, const std::atomic<bool>* cancel) {
    Request request = requestOf(Op::readFolder, path);
    request.number = includeHidden ? gate::withHidden : 0;
    std::vector<Request> one;
    one.push_back(std::move(request));
    Reply reply = std::move(callEach(one, answerLimit, cancel).front());
    Folder folder;
    folder.error = reply.error;
    if (!folder.error && !gate::unpackEntries(reply.data, folder.entries)) folder.error = EIO;
    return folder;
}

bool needsHelper(const std::string& path) {
    return !gate::makesCallsDirectly() && !gate::unansweringMountOnTheWay(path).empty();
}

HelperReserve::HelperReserve(int count) : m_count(count) { gate::reserveHelpers(count); }
HelperReserve::~HelperReserve() { gate::reserveHelpers(-m_count); }

int rename(const std::string& from, const std::string& to) {
    Request request = requestOf(Op::rename, from);
    request.texts.push_back(to);
    return call(std::move(request)).error;
}

int removeFile(const std::string& path) { return call(requestOf(Op::removeFile, path)).error; }

int makeFolders(const std::string& path) {
    int error = makeFolder(path, 0777);
    if (error == ENOENT) {
        const std::string parent = PathText::parent(path);
        if (parent.empty() || parent == path) return error;
        if (const int above = makeFolders(parent)) return above;
        error = makeFolder(path, 0777);
    }
    if (error != EEXIST) return error;
    const Status there = PathGate::stat(path);
    return there.error ? there.error : S_ISDIR(there.info.st_mode) ? 0 : ENOTDIR;
}

int makeFolder(const std::string& path, mode_t mode) {
    Request request = requestOf(Op::makeFolder, path);
    request.number = mode;
    return call(std::move(request)).error;
}

} // namespace tallymere::PathGate
