#include "state/ScanTarget.h"

#include "base/PathText.h"
#include "base/Utf8.h"

namespace tallymere {

ScanTarget ScanTarget::fullDisk() {
    return {"/", "Macintosh HD", true};
}

ScanTarget ScanTarget::home(std::string homePath) {
    return {std::move(homePath), "Home", false};
}

ScanTarget ScanTarget::folder(std::string path) {
    std::string title = lastPathComponentText(path);
    return {std::move(path), std::move(title), false};
}

ScanTarget ScanTarget::recent(std::string path) {
    if (path == "/") return fullDisk();
    return folder(std::move(path));
}

std::string lastPathComponentText(std::string_view path) {
    return repairUtf8(PathText::lastComponent(path));
}

std::string absoluteCleanPath(std::string_view path) {
    return path.empty() ? std::string() : PathText::standardized(path);
}

ScanOptions scanOptionsFor(const ScanTarget& target) {
    if (target.isFullDisk || (!target.path.empty() && absoluteCleanPath(target.path) == "/"))
        return ScanOptions::fullMac();
    ScanOptions options;
    options.includeHidden = true;
    // The live byte count is always in allocated bytes, whatever the store's size mode.
    options.useAllocatedSize = true;
    return options;
}

} // namespace tallymere
