#include "support/TempFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tallymere::test {
namespace {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

TempFolder::TempFolder(std::string_view prefix, std::string_view base) {
    std::string pattern = base.empty() ? std::filesystem::temp_directory_path().string() : std::string(base);
    pattern += '/';
    pattern += prefix;
    pattern += "-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    m_path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
    struct stat info {};
    if (::lstat(m_path.c_str(), &info) != 0) return;
    // What is left is unreadable or too deep for remove_all; rm copes with both once every folder
    // is open to us again.
    const std::string quoted = shellQuoted(m_path);
    const std::string command = "chmod -R u+rwx " + quoted + " 2>/dev/null; rm -rf " + quoted;
    [[maybe_unused]] const int status = std::system(command.c_str());
}

std::string TempFolder::file(std::string_view relative, std::size_t bytes) const {
    const std::filesystem::path full = *this / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << std::string(bytes, 'x');
    return full.string();
}

std::string TempFolder::oldFile(std::string_view relative, std::int64_t bytes, double days) const {
    const std::filesystem::path full = *this / relative;
    std::filesystem::create_directories(full.parent_path());
    const int fd = ::open(full.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    const bool sized = fd >= 0 && ::ftruncate(fd, bytes) == 0;
    if (fd >= 0) ::close(fd);
    timeval now{};
    ::gettimeofday(&now, nullptr);
    const timeval then{now.tv_sec - static_cast<time_t>(days * 86400), 0};
    const timeval times[2] = {then, then};
    if (!sized || ::utimes(full.c_str(), times) != 0) throw std::runtime_error("cannot make the old file " + full.string());
    return full.string();
}

std::string TempFolder::folder(std::string_view relative) const {
    const std::string full = *this / relative;
    std::filesystem::create_directories(full);
    return full;
}

} // namespace tallymere::test
