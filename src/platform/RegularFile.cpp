#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tallymere::RegularFile {

int openForReading(const std::string& path) {
    const int held = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (held < 0) return -1;
    struct stat heldInfo {};
    int fd = -1;
    if (::fstat(held, &heldInfo) == 0 && S_ISREG(heldInfo.st_mode)) {
        const std::string link = "/proc/self/fd/" + std::to_string(held);
        fd = ::open(link.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat opened {};
        // The descriptor folder's link leads to the held file itself; checked all the same.
        if (fd >= 0 && (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != heldInfo.st_dev ||
                        opened.st_ino != heldInfo.st_ino)) {
            ::close(fd);
            fd = -1;
        }
    }
    const int saved = errno;
    ::close(held);
    errno = saved;
    return fd;
}

std::optional<std::string> read(const std::string& path, std::size_t limit) {
    const int fd = openForReading(path);
    if (fd < 0) return std::nullopt;
    std::string content;
    char chunk[16384];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (content.size() + static_cast<std::size_t>(n) > limit) {
            ok = false;
            break;
        }
        content.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return content;
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace tallymere::RegularFile
