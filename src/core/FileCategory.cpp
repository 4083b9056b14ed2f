#include "core/FileCategory.h"

#include <initializer_list>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace tallymere {
namespace {

using Table = std::unordered_map<std::string_view, FileCategory>;

struct ExtensionList {
    FileCategory category;
    std::initializer_list<std::string_view> extensions;
};

// Later lists overwrite earlier ones: "ts" ends in code, "jar" in archive.
const Table& extensionTable() {
    static const Table table = [] {
        const ExtensionList lists[] = {
            {FileCategory::video,
             {"mp4", "mov", "m4v", "avi", "mkv", "webm", "flv", "wmv", "mpg", "mpeg", "m2ts", "ts", "3gp", "prores",
              "braw", "r3d", "mts", "ogv", "vob", "f4v", "rm", "asf"}},
            {FileCategory::audio,
             {"mp3", "aac", "wav", "aiff", "aif", "flac", "alac", "m4a", "ogg", "opus", "wma", "caf", "mid", "midi",
              "aup", "logicx", "band"}},
            {FileCategory::image,
             {"jpg", "jpeg", "png", "gif", "heic", "heif", "tiff", "tif", "bmp", "webp", "raw", "cr2", "cr3", "nef",
              "arw", "dng", "orf", "rw2", "psd", "ai", "eps", "svg", "ico", "icns", "avif", "jxl", "exr", "hdr"}},
            {FileCategory::document,
             {"pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "pages", "numbers", "key", "txt", "rtf", "md",
              "markdown", "epub", "mobi", "odt", "ods", "odp", "tex", "csv", "tsv", "djvu"}},
            {FileCategory::code,
             {"swift", "c", "h", "hpp", "cpp", "cc", "m", "mm", "java", "kt", "kts", "js", "mjs", "cjs", "jsx", "ts",
              "tsx", "py", "pyc", "rb", "go", "rs", "php", "cs", "scala", "sh", "zsh", "bash", "fish", "pl", "lua",
              "r", "dart", "ex", "exs", "erl", "hs", "clj", "vue", "svelte", "json", "yaml", "yml", "toml", "xml",
              "plist", "gradle", "cmake", "mk", "makefile", "sql", "graphql", "proto", "ipynb", "o", "a", "so",
              "dylib", "pdb", "wasm", "class", "jar", "pyd", "node", "lock", "sum", "mod", "pcm", "swiftmodule",
              "swiftdoc", "swiftsourceinfo", "swiftinterface", "modulemap", "bc", "ll", "d", "tbd", "dia",
              "bcsymbolmap", "gcno", "gcda", "hmap", "linkfilelist", "abi", "json5", "map", "nib", "strings", "car",
              "dsym", "ninja", "gradlew", "bazel", "pyi", "pyx", "rlib", "rmeta", "beam", "cma", "cmi", "cmx", "hi",
              "elc", "zwc", "dex", "aab", "apk", "pb", "pbxproj"}},
            {FileCategory::archive,
             {"zip", "tar", "gz", "tgz", "bz2", "xz", "7z", "rar", "zst", "lz", "lzma", "cpio", "pkg", "xip", "jar",
              "war", "aar", "deb", "rpm", "sit", "sitx", "z", "br"}},
            {FileCategory::app,
             {"app", "appex", "xpc", "framework", "bundle", "kext", "plugin", "prefpane", "qlgenerator", "component",
              "vst", "vst3", "au", "aupreset", "mdimporter", "saver", "service", "wdgt"}},
            {FileCategory::diskImage,
             {"dmg", "iso", "sparsebundle", "sparseimage", "img", "vmdk", "vdi", "qcow2", "vhd", "vhdx", "hds", "utm",
              "cdr", "toast", "pvm"}},
            {FileCategory::cache,
             {"log", "cache", "tmp", "temp", "crash", "diag", "spin", "hang", "asl", "tracev3", "db-wal", "db-shm",
              "idx", "pack", "swap", "dmp"}},
        };
        Table built;
        for (const ExtensionList& list : lists)
            for (std::string_view extension : list.extensions) built[extension] = list.category;
        return built;
    }();
    return table;
}

const std::unordered_set<std::string_view>& packageExtensions() {
    static const std::unordered_set<std::string_view> set = {
        "app",       "appex",        "framework",  "bundle",        "kext",      "plugin",   "prefpane",
        "qlgenerator", "component",  "vst",        "vst3",          "au",        "mdimporter", "saver",
        "service",   "wdgt",         "xpc",        "photoslibrary", "fcpbundle", "logicx",   "band",
        "imovielibrary", "tvlibrary", "rtfd",      "pages",         "numbers",   "key",      "download",
        "sparsebundle", "xcodeproj", "xcworkspace", "playground",   "docset",    "lproj",    "scptd",
        "workflow",  "dsym",         "pbproj",     "icbundle",
    };
    return set;
}

// Category of a lower-case extension, none when the table has no entry.
std::optional<FileCategory> forExtension(std::string_view lowerExtension) {
    const Table& table = extensionTable();
    auto found = table.find(lowerExtension);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

} // namespace

namespace FileCategories {

std::string_view title(FileCategory category) {
    switch (category) {
    case FileCategory::folder: return "Folder";
    case FileCategory::video: return "Video";
    case FileCategory::audio: return "Audio";
    case FileCategory::image: return "Image";
    case FileCategory::document: return "Document";
    case FileCategory::code: return "Developer";
    case FileCategory::archive: return "Archive";
    case FileCategory::app: return "Application";
    case FileCategory::diskImage: return "Disk Image";
    case FileCategory::cache: return "Cache & Log";
    case FileCategory::data: return "Other";
    }
    return "Other";
}

std::string_view symbol(FileCategory category) {
    switch (category) {
    case FileCategory::folder: return "folder.fill";
    case FileCategory::video: return "film.fill";
    case FileCategory::audio: return "waveform";
    case FileCategory::image: return "photo.fill";
    case FileCategory::document: return "doc.text.fill";
    case FileCategory::code: return "chevron.left.forwardslash.chevron.right";
    case FileCategory::archive: return "shippingbox.fill";
    case FileCategory::app: return "app.badge.fill";
    case FileCategory::diskImage: return "externaldrive.fill";
    case FileCategory::cache: return "clock.arrow.circlepath";
    case FileCategory::data: return "doc.fill";
    }
    return "doc.fill";
}

std::optional<FileCategory> fromRaw(int raw) {
    if (raw < 0 || raw > 10) return std::nullopt;
    return static_cast<FileCategory>(raw);
}

} // namespace FileCategories

std::string fileExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
    const std::string_view after = name.substr(dot + 1);
    // Length in characters: UTF-8 continuation bytes do not start a character.
    std::size_t characters = 0;
    for (unsigned char byte : after)
        if ((byte & 0xC0) != 0x80) ++characters;
    if (characters > 16) return {};
    std::string lower(after);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

FileCategory classifyFile(std::string_view name) {
    const std::string extension = fileExtension(name);
    if (extension.empty()) return FileCategory::data;
    return forExtension(extension).value_or(FileCategory::data);
}

FileCategory classifyDirectory(std::string_view name, bool& isPackage) {
    isPackage = false;
    const std::string extension = fileExtension(name);
    if (extension.empty() || !packageExtensions().contains(extension)) return FileCategory::folder;
    isPackage = true;
    return forExtension(extension).value_or(FileCategory::app);
}

} // namespace tallymere
