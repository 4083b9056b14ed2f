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

// Whether `path` lies below `folder`, at a "/" boundary ("/a/bc" is not inside "/a/b"); a folder is
// not inside itself. Both absolute and spelled alike.
bool isInside(std::string_view path, std::string_view folder);

// Whether `path` is `folder` or lies below it, at a "/" boundary ("/" holds every absolute path).
bool isAtOrInside(std::string_view path, std::string_view folder);

// `name` in `folder`, one "/" between them however `folder` ends: "/" and "x" give "/x", "/a/" and
// "x" give "/a/x".
std::string joined(std::string_view folder, std::string_view name);

// An absolute path with "." and ".." resolved by text and repeated and trailing slashes removed;
// a relative path is taken from the working folder. Empty for an empty path, and for a relative
// one when the working folder cannot be known (deleted, unreachable). Links are
// not followed: "/a/link/.." gives "/a". "/" and "/.." give "/".
std::string standardized(std::string_view path);

// Why an item could not be dealt with, for one line of a banner: `reason` after the last component
// of `path` ("x: Permission denied") unless the reason names the item already. A message of the
// system ("No such file or directory") names nothing, whatever words it shares with the name.
std::string namedReason(std::string_view path, const std::string& reason);

} // namespace tallymere::PathText
