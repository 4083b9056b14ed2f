#pragma once
#include <optional>
#include <string>

namespace tallymere::FolderDialog {

// Asks the user for a folder or volume to analyse in a modal dialog over the active window. The
// chosen path as raw bytes; none when the dialog was cancelled or nothing was chosen.
std::optional<std::string> choose();

} // namespace tallymere::FolderDialog
