#pragma once
#include "core/FileNode.h"

#include <QString>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tallymere::CsvExport {

// The first line of every export.
inline constexpr std::string_view header = "path,name,bytes,allocated,files,kind,modified";

// A field in double quotes with each quote in it doubled, so commas, quotes and line breaks stay
// inside the one field.
std::string quoted(std::string_view text);

// The file: the header, then one line a node in the given order, every line ending in a line feed,
// UTF-8 without a byte-order mark. Path and name are written as they are, invalid UTF-8 replaced;
// both sizes are always written in plain digits; kind is "Folder" for any directory (packages
// included); `date` writes the modification time.
std::string text(std::span<const FileNode* const> rows, const std::function<std::string(double)>& date);

// The file name offered in the save dialog: the shown folder's name with every "/" made "_",
// then "-Tallymere.csv".
QString suggestedName(const FileNode& shown);

// Writes `bytes` to `path` whole or not at all: through a temporary file that replaces the target
// only once everything is written, so a failed write leaves an existing file as it was. Returns
// the system's reason on failure, none on success.
std::optional<QString> write(const QString& path, std::string_view bytes);

} // namespace tallymere::CsvExport
