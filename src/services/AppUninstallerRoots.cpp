#include "services/AppUninstaller.h"

#include "platform/InstalledNames.h"
#include "platform/UserFolders.h"
#include "services/AppUninstallerOwnership.h"

#include <algorithm>
#include <cstdlib>

namespace tallymere {

using AppOwnership::isAtOrInside;
using AppOwnership::isInside;

AppSources AppSources::system() {
    AppSources sources;
    sources.home = UserFolders::home();
    auto xdg = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value == '/' ? std::string(value) : std::string();
    };
    const XdgHomes given{.data = xdg("XDG_DATA_HOME"), .cache = xdg("XDG_CACHE_HOME"), .config = xdg("XDG_CONFIG_HOME"),
                         .state = xdg("XDG_STATE_HOME")};
    // The desktop reads the user's launchers from the data folder as given, wherever it is; only
    // launchers inside the home can be the user's own (describe() checks).
    sources.dataHome = given.data.empty() ? sources.home + "/.local/share" : given.data;
    sources.userFolders = UserFolders::namedFolders();
    sources.systemFolders = UserFolders::systemDataFolders();
    sources.systemFolders.push_back("/etc");
    sources.systemFolders.push_back("/etc/xdg");
    sources.supportRoots = supportRootsFor(sources.home, given, sources.userFolders);
    sources.entries = [] { return DesktopEntries::list(); };
    sources.installedNames = [] { return InstalledNames::read(); };
    return sources;
}

std::vector<SupportRoot> AppSources::supportRootsFor(const std::string& home, const XdgHomes& given,
                                                     const std::vector<std::string>& userFolders) {
    const std::string realHome = AppOwnership::realPath(home);
    if (realHome.empty() || realHome == "/") return {};
    std::vector<std::string> named;
    for (const std::string& folder : userFolders)
        if (std::string real = AppOwnership::physicalPath(folder); !real.empty()) named.push_back(std::move(real));

    struct Base {
        std::string given, fallback, kind;
        std::string chosen; // real path, empty when left out
    };
    std::vector<Base> bases{{given.data, home + "/.local/share", "Application Support", {}},
                            {given.cache, home + "/.cache", "Cache", {}},
                            {given.config, home + "/.config", "Preferences", {}},
                            {{}, home + "/.var/app", "Container", {}},
                            {{}, home + "/snap", "Container", {}},
                            {given.state, home + "/.local/state", "Saved State", {}}};
    std::vector<std::string> wanted; // each base's first choice, for the parent test
    for (const Base& base : bases) wanted.push_back(AppOwnership::physicalPath(base.given.empty() ? base.fallback : base.given));

    // A root lists its first-level entries as items that can be moved: it must be the user's own
    // folder, hold none of the user's named folders (nor be one) and hold no other root.
    auto qualifies = [&](const std::string& real, std::size_t self) {
        if (real.empty() || !isInside(real, realHome)) return false;
        for (const std::string& folder : named)
            if (isAtOrInside(folder, real)) return false;
        for (std::size_t other = 0; other < wanted.size(); ++other)
            if (other != self && !wanted[other].empty() && wanted[other] != real && isAtOrInside(wanted[other], real))
                return false;
        return true;
    };
    for (std::size_t i = 0; i < bases.size(); ++i) {
        if (qualifies(wanted[i], i)) bases[i].chosen = wanted[i];
        else if (const std::string fallback = AppOwnership::physicalPath(bases[i].fallback); qualifies(fallback, i))
            bases[i].chosen = fallback;
    }
    std::vector<SupportRoot> roots;
    for (const Base& base : bases)
        if (!base.chosen.empty() && std::none_of(roots.begin(), roots.end(), [&](const SupportRoot& r) { return r.path == base.chosen; }))
            roots.push_back({base.chosen, base.kind});
    // Autostart entries and user services live in the config folder chosen above.
    if (!bases[2].chosen.empty()) {
        roots.push_back({bases[2].chosen + "/autostart", "Launch Agent"});
        roots.push_back({bases[2].chosen + "/systemd/user", "Launch Agent"});
    }
    return roots;
}

} // namespace tallymere
