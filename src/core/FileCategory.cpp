#include "core/FileCategory.h"

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tallymere {
namespace {

// Every list is data the compiler lays out, and the index below is built from them while
// compiling: classifying the first entry of a scan then reads one table, rather than building hash
// tables from literals that string merging scatters over the program's read-only data.
constexpr std::string_view videoExtensions[] = {
    "mp4", "mov", "m4v", "avi", "mkv", "webm", "flv", "wmv", "mpg", "mpeg", "m2ts", "ts", "3gp", "prores", "braw",
    "r3d", "mts", "ogv", "vob", "f4v", "rm", "asf",
};
constexpr std::string_view audioExtensions[] = {
    "mp3", "aac", "wav", "aiff", "aif", "flac", "alac", "m4a", "ogg", "opus", "wma", "caf", "mid", "midi", "aup",
    "logicx", "band",
};
constexpr std::string_view imageExtensions[] = {
    "jpg", "jpeg", "png", "gif", "heic", "heif", "tiff", "tif", "bmp", "webp", "raw", "cr2", "cr3", "nef", "arw",
    "dng", "orf", "rw2", "psd", "ai", "eps", "svg", "ico", "icns", "avif", "jxl", "exr", "hdr",
};
constexpr std::string_view documentExtensions[] = {
    "pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "pages", "numbers", "key", "txt", "rtf", "md", "markdown",
    "epub", "mobi", "odt", "ods", "odp", "tex", "csv", "tsv", "djvu",
};
constexpr std::string_view codeExtensions[] = {
    "swift", "c", "h", "hpp", "cpp", "cc", "m", "mm", "java", "kt", "kts", "js", "mjs", "cjs", "jsx", "ts", "tsx",
    "py", "pyc", "rb", "go", "rs", "php", "cs", "scala", "sh", "zsh", "bash", "fish", "pl", "lua", "r", "dart", "ex",
    "exs", "erl", "hs", "clj", "vue", "svelte", "json", "yaml", "yml", "toml", "xml", "plist", "gradle", "cmake",
    "mk", "makefile", "sql", "graphql", "proto", "ipynb", "o", "a", "so", "dylib", "pdb", "wasm", "class", "jar",
    "pyd", "node", "lock", "sum", "mod", "pcm", "swiftmodule", "swiftdoc", "swiftsourceinfo", "swiftinterface",
    "modulemap", "bc", "ll", "d", "tbd", "dia", "bcsymbolmap", "gcno", "gcda", "hmap", "linkfilelist", "abi",
    "json5", "map", "nib", "strings", "car", "dsym", "ninja", "gradlew", "bazel", "pyi", "pyx", "rlib", "rmeta",
    "beam", "cma", "cmi", "cmx", "hi", "elc", "zwc", "dex", "aab", "apk", "pb", "pbxproj",
};
constexpr std::string_view archiveExtensions[] = {
    "zip", "tar", "gz", "tgz", "bz2", "xz", "7z", "rar", "zst", "lz", "lzma", "cpio", "pkg", "xip", "jar", "war",
    "aar", "deb", "rpm", "sit", "sitx", "z", "br",
};
constexpr std::string_view appExtensions[] = {
    "app", "appex", "xpc", "framework", "bundle", "kext", "plugin", "prefpane", "qlgenerator", "component", "vst",
    "vst3", "au", "aupreset", "mdimporter", "saver", "service", "wdgt",
};
constexpr std::string_view diskImageExtensions[] = {
    "dmg", "iso", "sparsebundle", "sparseimage", "img", "vmdk", "vdi", "qcow2", "vhd", "vhdx", "hds", "utm", "cdr",
    "toast", "pvm",
};
constexpr std::string_view cacheExtensions[] = {
    "log", "cache", "tmp", "temp", "crash", "diag", "spin", "hang", "asl", "tracev3", "db-wal", "db-shm", "idx",
    "pack", "swap", "dmp",
};
constexpr std::string_view packageExtensions[] = {
    "app", "appex", "framework", "bundle", "kext", "plugin", "prefpane", "qlgenerator", "component", "vst", "vst3",
    "au", "mdimporter", "saver", "service", "wdgt", "xpc", "photoslibrary", "fcpbundle", "logicx", "band",
    "imovielibrary", "tvlibrary", "rtfd", "pages", "numbers", "key", "download", "sparsebundle", "xcodeproj",
    "xcworkspace", "playground", "docset", "lproj", "scptd", "workflow", "dsym", "pbproj", "icbundle",
};

struct ExtensionList {
    FileCategory category;
    std::span<const std::string_view> extensions;
};

// Later lists overwrite earlier ones: "ts" ends in code, "jar" in archive.
constexpr ExtensionList extensionLists[] = {
    {FileCategory::video, videoExtensions},
    {FileCategory::audio, audioExtensions},
    {FileCategory::image, imageExtensions},
    {FileCategory::document, documentExtensions},
    {FileCategory::code, codeExtensions},
    {FileCategory::archive, archiveExtensions},
    {FileCategory::app, appExtensions},
    {FileCategory::diskImage, diskImageExtensions},
    {FileCategory::cache, cacheExtensions},
};

// What the tables say of one extension.
struct ExtensionClass {
    FileCategory category = FileCategory::data;
    bool hasCategory = false;
    bool isPackage = false;
};

// The classification the scanner applies to every entry, so it is one multiply and a compare or
// two: an extension of at most 16 bytes, lower-cased and packed into two words (zero bytes past its
// end; a name holds no zero byte), in an open-addressing table of every extension either table knows.
// A longer extension, or one with bytes beyond ASCII past 16 bytes, matches nothing: every key is
// ASCII of at most 16 characters.
class ExtensionIndex {
public:
    constexpr ExtensionIndex() {
        for (const ExtensionList& list : extensionLists)
            for (std::string_view extension : list.extensions) {
                Slot& slot = slotFor(pack(extension));
                slot.value.category = list.category;
                slot.value.hasCategory = true;
            }
        for (std::string_view extension : packageExtensions) slotFor(pack(extension)).value.isPackage = true;
    }

    constexpr const ExtensionClass* find(std::string_view name) const {
        const std::size_t dot = name.rfind('.');
        if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return nullptr;
        const std::string_view extension = name.substr(dot + 1);
        if (extension.size() > 16) return nullptr;
        const Key key = pack(extension);
        for (std::size_t i = hash(key);; i = (i + 1) & (slotCount - 1)) {
            const Slot& slot = m_slots[i];
            if (!slot.used) return nullptr;
            if (slot.key == key) return &slot.value;
        }
    }

private:
    struct Key {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct Slot {
        Key key;
        ExtensionClass value;
        bool used = false;
    };
    static constexpr std::size_t slotCount = 1024; // a power of two, over three times the keys

    static constexpr Key pack(std::string_view extension) {
        std::array<char, 16> bytes{};
        for (std::size_t i = 0; i < extension.size(); ++i) {
            const char c = extension[i];
            bytes[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return std::bit_cast<Key>(bytes);
    }
    static constexpr std::size_t hash(const Key& key) {
        const std::uint64_t mixed = (key.low * 0x9E3779B97F4A7C15ull) ^ (key.high * 0xC2B2AE3D27D4EB4Full);
        return static_cast<std::size_t>(mixed >> 54) & (slotCount - 1);
    }
    constexpr Slot& slotFor(const Key& key) {
        for (std::size_t i = hash(key);; i = (i + 1) & (slotCount - 1)) {
            Slot& slot = m_slots[i];
            if (!slot.used) {
                slot.used = true;
                slot.key = key;
                return slot;
            }
            if (slot.key == key) return slot;
        }
    }

    std::array<Slot, slotCount> m_slots{};
};

constexpr ExtensionIndex extensionIndex;

const ExtensionClass* classOf(std::string_view name) { return extensionIndex.find(name); }

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
    const ExtensionClass* found = classOf(name);
    return found && found->hasCategory ? found->category : FileCategory::data;
}

FileCategory classifyDirectory(std::string_view name, bool& isPackage) {
    const ExtensionClass* found = classOf(name);
    isPackage = found && found->isPackage;
    if (!isPackage) return FileCategory::folder;
    return found->hasCategory ? found->category : FileCategory::app;
}

} // namespace tallymere
