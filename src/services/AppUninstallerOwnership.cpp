#include "services/AppUninstallerOwnership.h"

#include "base/PathText.h"
#include "platform/PathGate.h"
#include "platform/PhysicalPath.h"

#include <algorithm>
#include <array>
#include <sys/stat.h>
#include <unistd.h>

namespace tallymere::AppOwnership {

namespace {

// Folders of the home in which each subfolder may be one self-contained program.
constexpr std::array<std::string_view, 6> programContainers = {"Applications", "Apps", "AppImages", "Programs",
                                                               "opt", ".local/opt"};

// Folders of an installation prefix, shared by whatever was installed there.
constexpr std::array<std::string_view, 5> prefixFolders = {"bin", "lib", "libexec", "sbin", "share"};

bool isPrefixFolder(std::string_view name) {
    return std::find(prefixFolders.begin(), prefixFolders.end(), name) != prefixFolders.end();
}

bool isAppImage(std::string_view name) { return lowerAscii(name).ends_with(".appimage"); }

// "libfoo.so", "libfoo.so.1.2": executable bits on a library do not make it a program.
bool isSharedLibrary(std::string_view name) { return name.ends_with(".so") || name.find(".so.") != std::string_view::npos; }

// Whether a folder is any other program's as well: anywhere inside it a prefix folder (the tree
// of an installation prefix, or of a vendor folder of several such trees), an executable file
// other than the program (shared libraries aside) or an AppImage. Links are not followed; a
// folder that cannot be read (its file system not answering among the reasons), or lies too deep,
// cannot be vouched for.
bool holdsOtherPrograms(const std::string& folder, const std::string& program, int depth = 0) {
    constexpr int maxDepth = 64;
    if (depth > maxDepth) return true;
    const PathGate::Listing listing = PathGate::list(folder);
    if (listing.error) return true;
    for (const std::string& name : listing.names) {
        const std::string path = folder + '/' + name;
        if (path == program) continue;
        const PathGate::Status item = PathGate::lstat(path);
        if (item.error == PathGate::notAnswering) return true;
        if (item.error) continue;
        if (S_ISDIR(item.info.st_mode) ? isPrefixFolder(name) || holdsOtherPrograms(path, program, depth + 1)
                                       : S_ISREG(item.info.st_mode) &&
                                             (isAppImage(name) || ((item.info.st_mode & 0111) && !isSharedLibrary(name))))
            return true;
    }
    return false;
}

bool holdsAny(const std::string& path, const std::vector<std::string>& items) {
    return std::any_of(items.begin(), items.end(), [&](const std::string& item) { return !item.empty() && isAtOrInside(item, path); });
}

} // namespace

std::string_view leaf(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}


std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::string realPath(const std::string& path) {
    if (path.empty()) return {};
    PathGate::Text resolved = PathGate::realPath(path);
    return resolved.error ? std::string() : std::move(resolved.text);
}

std::string physicalPath(const std::string& path) { return tallymere::physicalPath(path); }

std::string bundleOf(const std::string& program, const std::string& home, const std::vector<std::string>& others) {
    if (!isInside(program, home)) return program;
    const std::string_view relative = std::string_view(program).substr(home == "/" ? 1 : home.size() + 1);
    for (std::string_view container : programContainers) {
        if (!relative.starts_with(container) || relative.size() <= container.size() || relative[container.size()] != '/')
            continue;
        const std::string_view below = relative.substr(container.size() + 1);
        const auto slash = below.find('/');
        if (slash == std::string_view::npos) return program; // a file right in the container (an AppImage)
        const std::string_view name = below.substr(0, slash);
        const std::string folder = home + '/' + std::string(container) + '/' + std::string(name);
        if (isPrefixFolder(name) || holdsAny(folder, others) || holdsOtherPrograms(folder, program)) return program;
        return folder;
    }
    return program;
}

Guard Guard::from(const AppSources& sources, const std::vector<DesktopEntry>& entries) {
    Guard guard;
    guard.home = realPath(sources.home);
    std::vector<std::string> fixed;
    for (const SupportRoot& root : sources.supportRoots) fixed.push_back(root.path);
    fixed.insert(fixed.end(), sources.userFolders.begin(), sources.userFolders.end());
    // The base folders where they are by default, whichever the environment chose: a data folder
    // given as ~/.local lists ~/.local/share among its entries, which holds every program's data.
    if (!sources.home.empty())
        for (const char* base : {"/.local/share", "/.config", "/.cache", "/.local/state"}) fixed.push_back(sources.home + base);
    // The desktop's own: the Trash, the launchers and the icons of the data folder it reads.
    if (!sources.dataHome.empty())
        for (const char* own : {"/Trash", "/applications", "/icons"}) fixed.push_back(sources.dataHome + own);
    for (const std::string& folder : fixed)
        if (std::string real = physicalPath(folder); !real.empty()) guard.fixed.push_back(std::move(real));
    for (const std::string& folder : sources.systemFolders)
        for (const std::string& name : PathGate::list(folder).names) guard.systemNames.push_back(lowerAscii(name));
    std::sort(guard.systemNames.begin(), guard.systemNames.end());
    guard.systemNames.erase(std::unique(guard.systemNames.begin(), guard.systemNames.end()), guard.systemNames.end());
    guard.places = sources.places ? sources.places
                                  : std::make_shared<const PlaceRegistry>(Places::lookAt(Places::Sources::current()));
    guard.launchers.reserve(entries.size());
    // Programs followed to the real file, so a link in the home to a packaged program is not the
    // user's own.
    for (const DesktopEntry& entry : entries)
        guard.launchers.push_back({realPath(entry.filePath), realPath(DesktopEntries::resolveProgram(entry.program))});
    return guard;
}

bool allows(const Guard& guard, const std::string& path, Role role, const InstalledApp* owner) {
    if (path.empty() || path.front() != '/') return false;
    // The parent resolved now, the item itself not followed: a link swapped in for a folder of the
    // path makes it another path, and the item is refused.
    const std::string parent = realPath(PathText::parent(path));
    if (parent.empty()) return false;
    const std::string_view name = leaf(path);
    const std::string physical = parent == "/" ? '/' + std::string(name) : parent + '/' + std::string(name);
    return physical == path && allowsIn(guard, parent, name, role, owner);
}

bool allowsIn(const Guard& guard, const std::string& realFolder, std::string_view name, Role role, const InstalledApp* owner) {
    if (guard.home.empty() || guard.home == "/" || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string_view::npos)
        return false;
    const std::string physical = realFolder == "/" ? '/' + std::string(name) : realFolder + '/' + std::string(name);
    if (!isInside(physical, guard.home)) return false;
    const PathGate::Status item = PathGate::lstat(physical);
    if (item.error || item.info.st_uid != ::getuid()) return false;
    const struct stat& info = item.info;
    if (role == Role::supportItem && (AppUninstaller::isProtected(physical) ||
                                      std::binary_search(guard.systemNames.begin(), guard.systemNames.end(), lowerAscii(name))))
        return false;
    if (holdsAny(physical, guard.fixed)) return false;
    if (!guard.places->at(info.st_dev, info.st_ino).empty()) return false;
    // A mount made since the places were looked at: on another device than its folder.
    if (S_ISDIR(info.st_mode)) {
        const PathGate::Status folder = PathGate::lstat(realFolder);
        if (folder.error != 0 || folder.info.st_dev != info.st_dev) return false;
    }

    auto isOwn = [&](const Launcher& launcher) {
        return owner && ((!owner->desktopFile.empty() && launcher.file == owner->desktopFile) ||
                         (!owner->program.empty() && launcher.program == owner->program));
    };
    for (const Launcher& launcher : guard.launchers)
        if (!isOwn(launcher) && (isAtOrInside(launcher.file, physical) ||
                                 (!launcher.program.empty() && isAtOrInside(launcher.program, physical))))
            return false;
    if (role == Role::bundle) {
        if (!owner || owner->program.empty() || !isAtOrInside(owner->program, physical)) return false;
        std::vector<std::string> others; // every launcher file, and the programs that are not the owner's
        for (const Launcher& launcher : guard.launchers) {
            if (!launcher.file.empty()) others.push_back(launcher.file);
            if (!launcher.program.empty() && !isOwn(launcher)) others.push_back(launcher.program);
        }
        if (bundleOf(owner->program, guard.home, others) != physical) return false;
    }
    return true;
}

} // namespace tallymere::AppOwnership
