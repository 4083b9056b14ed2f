#pragma once
#include <string>

namespace tallymere::UserFolders {

// The user's home folder: $HOME when it is an absolute path, else the password database's entry
// for the real user id. Never ends in "/" (unless it is "/" itself); empty only when neither
// source knows a home folder.
std::string home();

// The per-user data folder (where the Trash and the snapshot store live): $XDG_DATA_HOME when it
// is an absolute path, else home() followed by "/.local/share". Empty when home() is.
std::string dataHome();

} // namespace tallymere::UserFolders
