#include "services/TrashService.h"
#include "base/Saturating.h"

#include "platform/FreedesktopTrash.h"

namespace tallymere::TrashService {

Outcome trash(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes) {
    Outcome outcome;
    for (const std::string& path : paths) {
        const FreedesktopTrash::Result result = FreedesktopTrash::moveToTrash(path);
        if (!result.moved) {
            outcome.failed.emplace_back(path, result.error);
            continue;
        }
        outcome.trashed.push_back(path);
        if (const auto size = sizes.find(path); size != sizes.end()) outcome.freed = saturatingAdd(outcome.freed, size->second);
    }
    return outcome;
}

void revealInFinder(DesktopActions& desktop, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    desktop.reveal(paths);
}

} // namespace tallymere::TrashService
