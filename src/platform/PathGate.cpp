#include "platform/PathGate.h"

#include "platform/RegularFile.h"

#include <fcntl.h>
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace tallymere::PathGate {

std::string message(int error) {
    if (error == notAnswering) return "Its file system does not answer";
    return std::generic_category().message(error);
}

Status stat(const std::string& path) {
    Status status;
    if (::stat(path.c_str(), &status.info) != 0) status.error = errno;
    return status;
}

Status lstat(const std::string& path) {
    Status status;
    if (::lstat(path.c_str(), &status.info) != 0) status.error = errno;
    return status;
}

std::vector<Status> statEach(const std::vector<std::string>& paths) {
    std::vector<Status> result;
    for (const std::string& path : paths) result.push_back(stat(path));
    return result;
}

std::vector<Status> lstatEach(const std::vector<std::string>& paths) {
    std::vector<Status> result;
    for (const std::string& path : paths) result.push_back(lstat(path));
    return result;
}

Text readLink(const std::string& path) {
    Text text;
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (length < 0) text.error = errno;
    else text.text.assign(buffer, static_cast<std::size_t>(length));
    return text;
}

Text realPath(const std::string& path) {
    Text text;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        text.text = resolved;
        std::free(resolved);
    } else {
        text.error = errno;
    }
    return text;
}

Space statVfs(const std::string& path) {
    Space space;
    if (::statvfs(path.c_str(), &space.info) != 0) space.error = errno;
    return space;
}

std::vector<Space> statVfsEach(const std::vector<std::string>& paths) {
    std::vector<Space> result;
    for (const std::string& path : paths) result.push_back(statVfs(path));
    return result;
}

Listing list(const std::string& path) {
    Listing listing;
    DIR* folder = ::opendir(path.c_str());
    if (!folder) {
        listing.error = errno;
        return listing;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") listing.names.emplace_back(name);
    }
    ::closedir(folder);
    return listing;
}

Text readFile(const std::string& path, std::uint64_t offset, std::size_t limit) {
    Text text;
    const int fd = RegularFile::openForReading(path);
    if (fd < 0) {
        text.error = errno ? errno : EINVAL;
        return text;
    }
    text.text.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::pread(fd, text.text.data() + got, limit - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            text.error = errno;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.text.resize(got);
    ::close(fd);
    return text;
}

int writeFile(const std::string& path, const std::string& bytes) {
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) return EINVAL;
    const std::string temporary = path + ".XXXXXX";
    std::string name = temporary;
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    std::size_t written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(name.c_str(), path.c_str()) != 0) error = errno;
    if (error) ::unlink(name.c_str());
    return error;
}

int rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int makeFolder(const std::string& path, mode_t mode) {
    return ::mkdir(path.c_str(), mode) == 0 ? 0 : errno;
}

} // namespace tallymere::PathGate
