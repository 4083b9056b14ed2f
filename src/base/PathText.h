#pragma once
#include <string>
#include <string_view>

namespace tallymere::PathText {

// The last component of a slash-separated path, trailing slashes ignored: "/a/b/" gives "b", "/"
// gives "/", "" gives "".
std::string lastComponent(std::string_view path);

// The path without its last component, trailing slashes ignored: "/a/b" gives "/a", "/a" and "/"
// give "/", "a" gives "".
std::string parent(std::string_view path);

// An absolute path with "." and ".." resolved by text and repeated and trailing slashes removed;
// a relative path is taken from the working folder. Empty for an empty path, and for a relative
// one when the working folder cannot be known (deleted, unreachable). Links are
// not followed: "/a/link/.." gives "/a". "/" and "/.." give "/".
std::string standardized(std::string_view path);

} // namespace tallymere::PathText
