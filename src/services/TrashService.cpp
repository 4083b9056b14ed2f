#include "services/TrashService.h"
#include "base/Saturating.h"

#include "platform/FreedesktopTrash.h"

namespace tallymere::TrashService {

Outcome trash(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes) {
    return trashScanned(paths, sizes, {});
}

Outcome trash(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes,
              const PlaceRegistry& places) {
    return trashScanned(paths, sizes, {}, places);
}

Outcome trashScanned(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes,
                     const std::unordered_map<std::string, FreedesktopTrash::Identity>& identities) {
    if (paths.empty()) return {};
    return trashScanned(paths, sizes, identities, Places::lookAt(Places::Sources::current()));
}

Outcome trashScanned(const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>& sizes,
                     const std::unordered_map<std::string, FreedesktopTrash::Identity>& identities,
                     const PlaceRegistry& places) {
    Outcome outcome;
    for (const std::string& path : paths) {
        const auto identity = identities.find(path);
        const FreedesktopTrash::Result result =
            FreedesktopTrash::moveToTrash(path, places, identity == identities.end() ? nullptr : &identity->second);
        if (!result.moved) {
            outcome.failed.emplace_back(path, result.error);
            continue;
        }
        outcome.trashed.push_back(path);
        if (const auto size = sizes.find(path); size != sizes.end()) outcome.freed = saturatingAdd(outcome.freed, size->second);
    }
    return outcome;
}

std::optional<FreedesktopTrash::Identity> identityOf(const FileNode& node) {
    if (!node.hasIdentity) return std::nullopt;
    using Kind = FreedesktopTrash::Identity::Kind;
    return FreedesktopTrash::Identity{.kind = node.isDirectory ? Kind::folder : node.isSymlink ? Kind::link : Kind::file,
                                      .inodeTag = node.inodeTag,
                                      .created = static_cast<std::int64_t>(node.created)};
}

void revealInFinder(DesktopActions& desktop, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    desktop.reveal(paths);
}

} // namespace tallymere::TrashService
