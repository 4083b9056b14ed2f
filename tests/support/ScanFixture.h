#pragma once
// What the scanner's tests share: a scratch folder every user can reach, files and folders made in
// it, and a scan with its live counters.
#include "core/DiskScanner.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tallymere::test::scan {

// A scratch folder reachable by every user. In memory (/dev/shm) where there is one, so the large
// fixtures are quick to make.
class ScanFolder : public TempFolder {
public:
    ScanFolder() : TempFolder("tm-scan", ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "") {
        ::chmod(path().c_str(), 0755);
    }
};

inline void writeFile(const std::string& path, std::size_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string data(bytes, 'x');
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(bytes));
    ::close(fd);
}

inline void makeDir(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

struct Scanned {
    std::shared_ptr<FileNode> root;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t unread = 0;
};

inline Scanned scan(const std::string& path, const ScanOptions& options = {}) {
    ScanProgress progress;
    auto root = DiskScanner::scan(path, options, progress);
    return {root, progress.files(), progress.bytes(), progress.unreadFolders()};
}

} // namespace tallymere::test::scan
