#include "core/CleanupPreset.h"

#include "platform/PhysicalPath.h"
#include "platform/UserFolders.h"

#include <unistd.h>

namespace tallymere {

std::vector<CleanupPreset> CleanupPreset::table(std::string_view homeFolder, std::string_view dataHome, unsigned uid) {
    std::set<std::string> homeTrash;
    if (!dataHome.empty()) homeTrash.insert(std::string(dataHome) + "/Trash");
    else if (!homeFolder.empty()) homeTrash.insert(std::string(homeFolder) + "/.local/share/Trash");
    std::vector<CleanupPreset> presets;
    presets.reserve(12);
    presets.push_back({.id = "node",
                       .title = "node_modules",
                       .symbol = "shippingbox.fill",
                       .blurb = "JavaScript dependency trees — reinstall with npm i",
                       .directoryNames = {"node_modules"},
                       .regenerable = true});
    presets.push_back({.id = "derived",
                       .title = "Xcode DerivedData",
                       .symbol = "hammer.fill",
                       .blurb = "Build intermediates Xcode regenerates on next build",
                       .directoryNames = {"DerivedData", "ModuleCache.noindex", "Archives"},
                       .regenerable = true});
    presets.push_back({.id = "simulators",
                       .title = "iOS Simulators",
                       .symbol = "iphone",
                       .blurb = "Device images under CoreSimulator",
                       .directoryNames = {"CoreSimulator", "Caches"},
                       .pathContains = "CoreSimulator",
                       .regenerable = true});
    // "vendor/bundle" names a two-level location no single folder name equals; it is listed for
    // completeness and matches nothing.
    presets.push_back({.id = "build",
                       .title = "Build artifacts",
                       .symbol = "cube.fill",
                       .blurb = "target/, build/, dist/, .next, __pycache__ and friends",
                       .directoryNames = {"build", "dist", "target", ".next", ".nuxt", "out", "__pycache__",
                                          ".pytest_cache", ".gradle", ".dart_tool", "Pods", ".turbo",
                                          ".parcel-cache", "vendor/bundle"},
                       .regenerable = true});
    presets.push_back({.id = "docker",
                       .title = "Docker & VMs",
                       .symbol = "cube.transparent.fill",
                       .blurb = "Container disk images and virtual machine bundles",
                       .directoryNames = {"com.docker.docker", "containers", ".colima", ".orbstack",
                                          "Virtual Machines.localized", "OrbStack"},
                       .extensions = {"vmdk", "qcow2", "vdi", "vhdx", "utm", "pvm"},
                       .regenerable = false});
    presets.push_back({.id = "android",
                       .title = "Android SDK",
                       .symbol = "cpu.fill",
                       .blurb = "SDK images, AVDs and Gradle caches",
                       .directoryNames = {"Android", ".android", ".gradle", "sdk"},
                       .regenerable = true});
    presets.push_back({.id = "caches",
                       .title = "Caches & logs",
                       .symbol = "clock.arrow.circlepath",
                       .blurb = "Application caches and log files",
                       .directoryNames = {"Caches", "Logs", "logs", ".cache", "DiagnosticReports"},
                       .extensions = {"log", "crash", "diag"},
                       .regenerable = true});
    presets.push_back({.id = "media",
                       .title = "Large media",
                       .symbol = "film.fill",
                       .blurb = "Video and audio files",
                       .extensions = {"mp4", "mov", "mkv", "avi", "m4v", "wav", "aiff", "flac", "braw", "r3d"},
                       .regenerable = false});
    presets.push_back({.id = "images",
                       .title = "Disk images",
                       .symbol = "externaldrive.fill",
                       .blurb = "Installers and mountable images",
                       .extensions = {"dmg", "iso", "pkg", "sparsebundle", "sparseimage", "img"},
                       .regenerable = false});
    // Bound to the home folder as a whole-component prefix: a plain substring test would let
    // "/home/al" claim "/home/alice/Downloads" or a backup copy elsewhere. A home of "/" would
    // claim every user's Downloads on the disk: it holds none.
    presets.push_back({.id = "downloads",
                       .title = "Downloads",
                       .symbol = "arrow.down.circle.fill",
                       .blurb = "Everything in ~/Downloads",
                       .directoryNames = {"Downloads"},
                       .pathPrefix = homeFolder == "/" ? std::string() : std::string(homeFolder),
                       .regenerable = false});
    presets.push_back({.id = "trash",
                       .title = "Trash",
                       .symbol = "trash.fill",
                       .blurb = "Files already on their way out",
                       .directoryNames = {".Trash", ".Trash-" + std::to_string(uid)},
                       .directoryPaths = homeTrash,
                       .regenerable = true});
    presets.push_back({.id = "mail",
                       .title = "Mail & messages",
                       .symbol = "envelope.fill",
                       .blurb = "Local mail stores and attachment caches",
                       .directoryNames = {"Mail", "MailData", "Messages"},
                       .pathContains = "/Library/",
                       .regenerable = false});
    return presets;
}

const std::vector<CleanupPreset>& CleanupPreset::all() {
    // Presets look at scanned trees, whose paths are physical: a home reached through a link (or an
    // $XDG_DATA_HOME that is one) would otherwise match no Downloads and no Trash.
    static const std::vector<CleanupPreset> presets =
        table(UserFolders::physicalHome(), physicalPath(UserFolders::dataHome()), getuid());
    return presets;
}

} // namespace tallymere
