#include "app/ScanTarget.h"

#include "core/PathText.h"
#include "core/Utf8.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace tallymere {

ScanTarget ScanTarget::fullDisk() {
    return {"/", "Macintosh HD", true};
}

ScanTarget ScanTarget::home(std::string homePath) {
    return {std::move(homePath), "Home", false};
}

ScanTarget ScanTarget::folder(std::string path) {
    std::string title = lastPathComponentText(path);
    return {std::move(path), std::move(title), false};
}

ScanTarget ScanTarget::recent(std::string path) {
    if (path == "/") return fullDisk();
    return folder(std::move(path));
}

std::string lastPathComponentText(std::string_view path) {
    return repairUtf8(PathText::lastComponent(path));
}

std::string absoluteCleanPath(std::string_view path) {
    if (path.empty()) return {};
    std::string base;
    if (path.front() != '/') {
        std::error_code error;
        base = std::filesystem::current_path(error).native();
        if (error || base.empty()) base = "/";
    }
    // Walk the components of base + path, dropping "." and empty pieces and resolving "..".
    std::vector<std::string_view> parts;
    auto collect = [&parts](std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('/', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view piece = text.substr(start, end - start);
            if (piece == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!piece.empty() && piece != ".") {
                parts.push_back(piece);
            }
            start = end + 1;
        }
    };
    collect(base);
    collect(path);
    if (parts.empty()) return "/";
    std::string result;
    for (std::string_view piece : parts) {
        result.push_back('/');
        result.append(piece);
    }
    return result;
}

} // namespace tallymere
