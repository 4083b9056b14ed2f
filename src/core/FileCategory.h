#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallymere {

// The eleven kinds of entry. Raw values are stored in snapshots and the defaults, so the order is fixed.
enum class FileCategory : std::uint8_t {
    folder,
    video,
    audio,
    image,
    document,
    code,
    archive,
    app,
    diskImage,
    cache,
    data,
};

namespace FileCategories {

inline constexpr std::array<FileCategory, 11> all = {
    FileCategory::folder, FileCategory::video,    FileCategory::audio,     FileCategory::image,
    FileCategory::document, FileCategory::code,   FileCategory::archive,   FileCategory::app,
    FileCategory::diskImage, FileCategory::cache, FileCategory::data,
};

// Every category but folder, in declaration order: the sidebar's type list and the filter's toggles.
inline constexpr std::array<FileCategory, 10> selectable = {
    FileCategory::video, FileCategory::audio,     FileCategory::image, FileCategory::document,
    FileCategory::code,  FileCategory::archive,   FileCategory::app,   FileCategory::diskImage,
    FileCategory::cache, FileCategory::data,
};

std::string_view title(FileCategory category);
// The symbol name the views resolve to an icon glyph.
std::string_view symbol(FileCategory category);
// 0 to 10 give a category; anything else gives none.
std::optional<FileCategory> fromRaw(int raw);

} // namespace FileCategories

// The lower-cased text after the last "." of a name (ASCII letters folded: every key it is looked up
// with is ASCII). Empty when the name has no dot, the dot is the first or last byte, or the text
// after it is longer than 16 characters.
std::string fileExtension(std::string_view name);

// The scanner's classification, from the extension table and the package extensions (both built
// once, on first use, safely from any thread).

// Category of a regular file by its name.
FileCategory classifyFile(std::string_view name);

// Category of a directory by its name; sets isPackage when the extension is a package extension.
FileCategory classifyDirectory(std::string_view name, bool& isPackage);

} // namespace tallymere
