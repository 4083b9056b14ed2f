#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tallymere::UserFolders {

// The user's home folder: $HOME when it is an absolute path other than "/", else the password
// database's entry for the real user id. Never ends in "/" (unless it is "/" itself); empty only when neither
// source knows a home folder.
std::string home();

// home() as the file system knows it, every link resolved (see physicalPath): the path a scan of
// the home gives its tree. home() itself when it cannot be resolved.
std::string physicalHome();

// Whether `path` names the home folder, as written or as the file system knows it.
bool isHome(const std::string& path);

// The per-user data folder (where the Trash and the snapshot store live): $XDG_DATA_HOME when it
// is an absolute path other than "/", else home() followed by "/.local/share". Empty when home() is.
std::string dataHome();

// The per-user configuration folder: $XDG_CONFIG_HOME when it is an absolute path other than "/"
// (a relative one is ignored, as the base-directory rules say), else home() followed by
// "/.config". Empty when home() is.
std::string configHome();

// The system's data folders: the absolute entries of $XDG_DATA_DIRS in their order, else (unset,
// empty or with no absolute entry, which the base-directory rules read as unset) /usr/local/share
// and /usr/share.
std::vector<std::string> systemDataFolders();

// The user's named folders (desktop, documents, downloads, music, pictures, public share,
// templates, videos): those "user-dirs.dirs" names in $XDG_CONFIG_HOME and in ~/.config, and the
// usual English ones under the home in any case, since a missing or renamed entry must not leave
// the user's documents unguarded. An entry that names the home itself is no folder of its own and
// is left out. Absolute paths as written (links not resolved).
std::vector<std::string> namedFolders();

// The folders one "user-dirs.dirs" text names: lines XDG_<NAME>_DIR="$HOME/..." or "/...";
// comments, other keys and relative values are ignored. `home` replaces "$HOME".
std::vector<std::string> parseNamedFolders(std::string_view text, const std::string& home);

} // namespace tallymere::UserFolders
