#include "core/PathText.h"

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

} // namespace tallymere::PathText
