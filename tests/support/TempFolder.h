#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallymere::test {

// A fresh folder made with mkdtemp, removed with everything in it when the object goes, including
// folders a test left unreadable and paths nested past PATH_MAX. Throws when it cannot be made.
class TempFolder {
public:
    // Named "<prefix>-XXXXXX" inside `base`; an empty base means the system's temporary folder.
    explicit TempFolder(std::string_view prefix = "tallymere-test", std::string_view base = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    // The path of `relative` inside the folder; nothing is made.
    std::string operator/(std::string_view relative) const { return m_path + '/' + std::string(relative); }

    // A file of `bytes` bytes (written, so it has blocks on disk); parent folders are made.
    std::string file(std::string_view relative, std::size_t bytes) const;
    // A file of `bytes` logical bytes without blocks, last modified `days` ago; parent folders are
    // made. Throws when it cannot be made so.
    std::string oldFile(std::string_view relative, std::int64_t bytes, double days) const;
    // A folder and its parents.
    std::string folder(std::string_view relative) const;

private:
    std::string m_path;
};

} // namespace tallymere::test
