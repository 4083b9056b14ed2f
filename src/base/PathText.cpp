#include "base/PathText.h"

#include "base/Utf8.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace tallymere::PathText {
namespace {

// The path without trailing slashes; "/" when it is made of slashes only.
std::string_view trimmed(std::string_view path) {
    const auto last = path.find_last_not_of('/');
    if (last == std::string_view::npos) return path.empty() ? path : std::string_view("/");
    return path.substr(0, last + 1);
}

} // namespace

std::string lastComponent(std::string_view path) {
    const std::string_view text = trimmed(path);
    if (text == "/") return "/";
    const auto slash = text.rfind('/');
    return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

std::string parent(std::string_view path) {
    const std::string_view text = trimmed(path);
    if (text == "/") return "/";
    const auto slash = text.rfind('/');
    if (slash == std::string_view::npos) return "";
    return std::string(trimmed(text.substr(0, slash + 1)));
}

bool isInside(std::string_view path, std::string_view folder) {
    if (folder == "/") return path.size() > 1 && path.front() == '/';
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

bool isAtOrInside(std::string_view path, std::string_view folder) { return path == folder || isInside(path, folder); }

std::string joined(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string standardized(std::string_view path) {
    if (path.empty()) return {};
    std::string base;
    if (path.front() != '/') {
        // The real working folder, however long; a deleted or unreachable one leaves nothing to
        // resolve against (never "/", which would turn "." into the whole disk).
        char* working = ::getcwd(nullptr, 0);
        if (!working) return {};
        base = working;
        std::free(working);
        if (base.empty() || base.front() != '/') return {};
        base += '/';
    }
    base.append(path);

    std::vector<std::string_view> parts;
    std::string_view rest = base;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty()) return "/";
    std::string result;
    for (std::string_view part : parts) {
        result += '/';
        result.append(part);
    }
    return result;
}

std::string namedReason(std::string_view path, const std::string& reason) {
    const std::string name = lastComponent(path);
    bool isSystems = false;
    for (int error = 1; error < 200 && !isSystems; ++error) isSystems = std::generic_category().message(error) == reason;
    const bool named = !isSystems && (reason.find(name) != std::string::npos || reason.find(repairUtf8(name)) != std::string::npos);
    return oneLine(named ? reason : name + ": " + reason);
}

} // namespace tallymere::PathText
