// Discovery and removal on a fake home laid with the traps real homes hold: a shared bin folder, a
// folder of AppImages, a vendor folder of two programs, XDG folders pointing at /usr, at the home
// and at ~/.local, container and VM stores, leftovers two apps claim; and, between discovery and
// the move, folders swapped for links and programs, launchers or settings that make an item
// another's. Every move goes through a recording Trash (or the fake home's own), never the
// real home.
#include "services/AppUninstaller.h"

#include "support/FakeAppHome.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallymere {
namespace {

namespace fs = std::filesystem;

struct RecordingTrash {
    std::vector<std::vector<std::string>> calls;
    TrashService::Outcome operator()(const std::vector<std::string>& paths,
                                     const std::unordered_map<std::string, std::int64_t>& sizes) {
        calls.push_back(paths);
        TrashService::Outcome outcome;
        for (const auto& path : paths) {
            outcome.trashed.push_back(path);
            outcome.freed += sizes.contains(path) ? sizes.at(path) : 0;
        }
        return outcome;
    }
    AppUninstaller::Trasher trasher() {
        return [this](const auto& paths, const auto& sizes, const PlaceRegistry&) { return (*this)(paths, sizes); };
    }
    std::vector<std::string> moved() const {
        std::vector<std::string> all;
        for (const auto& call : calls) all.insert(all.end(), call.begin(), call.end());
        return all;
    }
};

void program(const std::string& path, std::size_t bytes = 10'000) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << std::string(bytes, 'x');
    ::chmod(path.c_str(), 0755);
}

void file(const std::string& path, std::size_t bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << std::string(bytes, 'x');
}

// The fake home with every trap laid.
struct TrapHome {
    test::FakeAppHome home;
    std::string h = home.home();

    TrapHome() {
        // Two launchers of programs in one shared bin folder, which also holds a script of no app.
        program(h + "/opt/bin/alpha");
        program(h + "/opt/bin/beta");
        program(h + "/opt/bin/other-script");
        app("alpha.desktop", "Alpha Tool", h + "/opt/bin/alpha");
        app("beta.desktop", "Beta Tool", h + "/opt/bin/beta");
        // A folder of AppImages, only one of them launched.
        program(h + "/Applications/AppImages/Foo-2.0.AppImage");
        program(h + "/Applications/AppImages/Bar-1.0.AppImage", 400'000);
        app("foo.desktop", "Foo Viewer", h + "/Applications/AppImages/Foo-2.0.AppImage");
        // A vendor folder of two IDEs, each laid out as a prefix.
        program(h + "/opt/vendor/ideA/bin/idea.sh");
        file(h + "/opt/vendor/ideA/lib/core.jar", 500'000);
        program(h + "/opt/vendor/ideB/bin/ideb.sh");
        app("com.vendor.IdeA.desktop", "Idea Alpha", h + "/opt/vendor/ideA/bin/idea.sh");
        app("com.vendor.IdeB.desktop", "Idea Beta", h + "/opt/vendor/ideB/bin/ideb.sh");
        file(h + "/.cache/com.vendor.IdeA/index", 30'000);
        // A folder whose other program, deeper down, has no launcher.
        program(h + "/Programs/Suite/main/suite");
        program(h + "/Programs/Suite/tools/converter");
        app("suite.desktop", "Suite", h + "/Programs/Suite/main/suite");
        // A self-contained program folder (its executable library is no other program).
        program(h + "/Apps/Gamma/gamma");
        program(h + "/Apps/Gamma/libgamma.so.1");
        file(h + "/Apps/Gamma/data/pack", 60'000);
        app("gamma.desktop", "Gamma Player", h + "/Apps/Gamma/gamma");
        // Two apps of one vendor whose names nest, and two whose identifiers are equally long.
        program(h + "/Applications/AcmeWidget.AppImage");
        program(h + "/Applications/AcmeWidgetPro.AppImage");
        app("com.acme.Widget.desktop", "Widget", h + "/Applications/AcmeWidget.AppImage");
        app("com.acme.WidgetPro.desktop", "Widget Pro", h + "/Applications/AcmeWidgetPro.AppImage");
        file(h + "/.config/com.acme.WidgetPro/settings", 7'000);
        file(h + "/.config/com.acme.Widget/settings", 6'000);
        program(h + "/Applications/Left.AppImage");
        program(h + "/Applications/Rite.AppImage");
        app("com.tie.Left.desktop", "Left", h + "/Applications/Left.AppImage");
        app("com.tie.Rite.desktop", "Rite", h + "/Applications/Rite.AppImage");
        file(h + "/.cache/com.tie.left-com.tie.rite/blob", 3'000'000);
        // Container, virtual-machine and sandbox stores.
        for (const char* store : {".local/share/containers/storage/layer", ".local/share/docker/image", ".config/libvirt/qemu.conf",
                                  ".local/share/gnome-boxes/images/disk", ".config/VirtualBox/vm", ".local/share/lxc/c1",
                                  ".local/share/waydroid/data", ".local/share/multipass/vault", "snap/lxd/common",
                                  ".local/share/vagrant/boxes"})
            file(h + "/" + store, 3'000'000);
        // What an XDG folder pointed at the home would list.
        file(h + "/Documents/thesis.pdf", 3'000'000);
        file(h + "/Pictures/holiday.jpg", 3'000'000);
        file(h + "/.mozilla/profile", 3'000'000);
    }

    void app(const std::string& fileName, const std::string& name, const std::string& exec) const {
        home.launcher(fileName, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n");
    }
    AppInventory scan() const { return AppUninstaller::scan(home.sources()); }
};

const InstalledApp& find(const AppInventory& inventory, std::string_view name) {
    for (const InstalledApp& app : inventory.apps)
        if (app.name == name) return app;
    throw std::runtime_error("no app " + std::string(name));
}

std::vector<std::string> paths(const std::vector<LeftoverItem>& items) {
    std::vector<std::string> out;
    for (const LeftoverItem& item : items) out.push_back(item.path);
    return out;
}

TEST(AppOwnership, SharedFoldersAreNoBundles) {
    const TrapHome trap;
    const std::string& h = trap.h;
    const AppInventory inventory = trap.scan();
    struct Expected {
        const char* name;
        std::string bundle;
    };
    // A program in a shared bin, a folder of AppImages or a vendor folder of two programs is its
    // own bundle; only a folder of one program alone is a folder bundle.
    for (const Expected& e : {Expected{"Alpha Tool", h + "/opt/bin/alpha"}, Expected{"Beta Tool", h + "/opt/bin/beta"},
                              Expected{"Foo Viewer", h + "/Applications/AppImages/Foo-2.0.AppImage"},
                              Expected{"Idea Alpha", h + "/opt/vendor/ideA/bin/idea.sh"},
                              Expected{"Idea Beta", h + "/opt/vendor/ideB/bin/ideb.sh"},
                              Expected{"Suite", h + "/Programs/Suite/main/suite"},
                              Expected{"Gamma Player", h + "/Apps/Gamma"},
                              Expected{"Acme Editor", h + "/.local/opt/Acme"}}) {
        const InstalledApp& app = find(inventory, e.name);
        EXPECT_EQ(app.path, e.bundle) << e.name;
        EXPECT_FALSE(app.isSystem) << e.name;
    }
    EXPECT_LT(find(inventory, "Foo Viewer").size, 400'000); // the other AppImage is not counted in

    // Uninstalling one of them moves that program, its launcher and its leftovers, nothing else.
    RecordingTrash trash;
    const InstalledApp& alpha = find(inventory, "Alpha Tool");
    const auto removal = AppUninstaller::uninstall(alpha, trap.home.sources(), trash.trasher());
    EXPECT_TRUE(removal.refused.empty());
    EXPECT_EQ(trash.moved(), (std::vector<std::string>{h + "/opt/bin/alpha", h + "/.local/share/applications/alpha.desktop"}));
    trash.calls.clear();
    AppUninstaller::uninstall(find(inventory, "Idea Alpha"), trap.home.sources(), trash.trasher());
    EXPECT_EQ(trash.moved(), (std::vector<std::string>{h + "/opt/vendor/ideA/bin/idea.sh",
                                                       h + "/.local/share/applications/com.vendor.IdeA.desktop",
                                                       h + "/.cache/com.vendor.IdeA"}));
    trash.calls.clear();
    AppUninstaller::uninstall(find(inventory, "Foo Viewer"), trap.home.sources(), trash.trasher());
    EXPECT_EQ(trash.moved(), (std::vector<std::string>{h + "/Applications/AppImages/Foo-2.0.AppImage",
                                                       h + "/.local/share/applications/foo.desktop"}));

    // with one IDE's program and launcher gone, the rest of its files still keep the vendor
    // folder from being the other's bundle
    fs::remove(h + "/opt/vendor/ideA/bin/idea.sh");
    fs::remove(h + "/.local/share/applications/com.vendor.IdeA.desktop");
    EXPECT_EQ(find(trap.scan(), "Idea Beta").path, h + "/opt/vendor/ideB/bin/ideb.sh");
}

TEST(AppOwnership, LeftoversGoToTheLongestMatchAndStoresAreNoOrphans) {
    const TrapHome trap;
    const std::string& h = trap.h;
    const AppInventory inventory = trap.scan();
    EXPECT_EQ(paths(find(inventory, "Widget Pro").leftovers), std::vector<std::string>{h + "/.config/com.acme.WidgetPro"});
    EXPECT_EQ(paths(find(inventory, "Widget").leftovers), std::vector<std::string>{h + "/.config/com.acme.Widget"});
    // equally long claims: neither app's, and no orphan either
    EXPECT_TRUE(find(inventory, "Left").leftovers.empty());
    EXPECT_TRUE(find(inventory, "Rite").leftovers.empty());
    // the orphans are the removed apps' data, not the stores, the shared item or the home's folders
    EXPECT_EQ(paths(inventory.orphans), (std::vector<std::string>{h + "/.cache/com.old.tool", h + "/.local/state/removedgame"}));

    RecordingTrash trash;
    AppUninstaller::uninstall(find(inventory, "Widget Pro"), trap.home.sources(), trash.trasher());
    EXPECT_EQ(trash.moved(), (std::vector<std::string>{h + "/Applications/AcmeWidgetPro.AppImage",
                                                       h + "/.local/share/applications/com.acme.WidgetPro.desktop",
                                                       h + "/.config/com.acme.WidgetPro"}));
    trash.calls.clear();
    const auto removal = AppUninstaller::removeOrphan(inventory.orphans[1], trap.home.sources(), trash.trasher());
    EXPECT_EQ(trash.moved(), std::vector<std::string>{h + "/.local/state/removedgame"});
    EXPECT_TRUE(removal.refused.empty());
    for (const char* store : {"containers", "docker", "libvirt", "gnome-boxes", "VirtualBox", "lxc", "waydroid", "multipass",
                              "lxd", "vagrant", "snap", "podman"})
        EXPECT_TRUE(AppUninstaller::isProtected(std::string("/h/.local/share/") + store)) << store;
    EXPECT_FALSE(AppUninstaller::isProtected("/h/.cache/dockerfile-lint"));
}

TEST(AppOwnership, SupportRootsStayInsideTheHome) {
    const TrapHome trap;
    const std::string& h = trap.h;
    const std::vector<std::string> named{h + "/Documents", h + "/Pictures", h + "/Docs"};
    auto rootPaths = [](const std::vector<SupportRoot>& roots) {
        std::vector<std::string> out;
        for (const SupportRoot& root : roots) out.push_back(root.path);
        return out;
    };
    const std::vector<std::string> defaults{h + "/.local/share", h + "/.cache",  h + "/.config",
                                            h + "/.var/app",     h + "/snap",    h + "/.local/state",
                                            h + "/.config/autostart", h + "/.config/systemd/user"};
    // /usr, the home, ~/.local (which holds the state folder) and a named folder fall back to the
    // defaults
    EXPECT_EQ(rootPaths(AppSources::supportRootsFor(h, {.data = h + "/.local", .cache = "/usr", .config = h, .state = {}}, named)),
              defaults);
    EXPECT_EQ(rootPaths(AppSources::supportRootsFor(h, {.data = {}, .cache = h + "/Docs", .config = {}, .state = "/"}, named)),
              defaults);
    // a folder of the user's own is taken as given
    const auto custom = AppSources::supportRootsFor(h, {.data = {}, .cache = h + "/.my-cache", .config = {}, .state = {}}, named);
    EXPECT_EQ(custom[1], (SupportRoot{h + "/.my-cache", "Cache"}));
    // a default that is a named folder is left out; a home that is "/" has no roots
    EXPECT_EQ(rootPaths(AppSources::supportRootsFor(h, {}, {h + "/.cache"})).size(), defaults.size() - 1);
    EXPECT_TRUE(AppSources::supportRootsFor("/", {}, {}).empty());

    // the whole discovery with those variables set: nothing outside the home, no named folder, no
    // data folder offered
    ::setenv("XDG_CACHE_HOME", "/usr", 1);
    ::setenv("XDG_CONFIG_HOME", h.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (h + "/.local").c_str(), 1);
    const AppInventory inventory = trap.scan();
    EXPECT_EQ(paths(inventory.orphans), (std::vector<std::string>{h + "/.cache/com.old.tool", h + "/.local/state/removedgame"}));
    for (const InstalledApp& app : inventory.apps)
        for (const LeftoverItem& item : app.leftovers) EXPECT_TRUE(item.path.starts_with(h + "/.")) << item.path;
}

// The desktop's own folders are nobody's leftovers: with the data folder at ~/.local (and the state
// folder elsewhere) its entries include ~/.local/share and ~/.local/state, each the default of a
// root, holding the keyrings and every program's data.
TEST(AppOwnership, TheDesktopsOwnFoldersAreNobodysLeftovers) {
    const TrapHome trap;
    const std::string& h = trap.h;
    file(h + "/.local/share/keyrings/login.keyring", 3'000'000);
    for (const char* shared : {"backgrounds", "themes", "wallpapers"}) file(h + "/.local/share/" + shared + "/big", 3'000'000);
    const auto offered = [](const AppInventory& inventory) {
        std::vector<std::string> all = paths(inventory.orphans);
        for (const InstalledApp& app : inventory.apps)
            for (const LeftoverItem& item : app.leftovers) all.push_back(item.path);
        return all;
    };
    const auto isOffered = [&](const AppInventory& inventory, const std::string& path) {
        const std::vector<std::string> all = offered(inventory);
        return std::find(all.begin(), all.end(), path) != all.end();
    };
    EXPECT_EQ(paths(trap.scan().orphans), (std::vector<std::string>{h + "/.cache/com.old.tool", h + "/.local/state/removedgame"}))
        << "shared backgrounds, themes and wallpapers are no orphans";

    ::setenv("XDG_DATA_HOME", (h + "/.local").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (h + "/.state").c_str(), 1);
    fs::remove_all(h + "/.local/share/applications"); // no launcher of the user's holds it back
    const AppInventory inventory = trap.scan();
    for (const char* folder : {"/.local/share", "/.local/state"}) {
        EXPECT_FALSE(isOffered(inventory, h + folder)) << folder;
        RecordingTrash trash;
        const auto removal = AppUninstaller::removeOrphan({.path = h + folder, .size = 1, .kind = "Application Support"},
                                                          trap.home.sources(), trash.trasher());
        EXPECT_TRUE(trash.calls.empty()) << folder;
        EXPECT_EQ(removal.refused, std::vector<std::string>{h + folder});
    }

    // A folder that holds the desktop's Trash, launchers or icons, wherever the data folder is.
    ::setenv("XDG_STATE_HOME", (h + "/.local/state").c_str(), 1);
    for (const char* inside : {"Trash/files/x", "applications/x.desktop", "icons/hicolor/x.png"}) {
        file(h + "/.var/app/holder/data/" + inside, 10);
        AppSources sources = trap.home.sources();
        sources.dataHome = h + "/.var/app/holder/data";
        RecordingTrash trash;
        const auto removal = AppUninstaller::removeOrphan({.path = h + "/.var/app/holder", .size = 10, .kind = "Container"},
                                                          sources, trash.trasher());
        EXPECT_TRUE(trash.calls.empty()) << inside;
        fs::remove_all(h + "/.var/app/holder");
    }
}

// A folder the desktop or the system shares is nobody's leftover, whatever the case of its name:
// the desktop's stores (fonts, pictures, wallets, passwords), names that the system's data and
// configuration folders hold, the folders of an installation prefix (a data folder given as
// ~/.local lists them) and a mount point. None is offered, and none moves when asked.
TEST(AppOwnership, SharedNamesAndMountPointsAreNobodysLeftovers) {
    const TrapHome trap;
    const std::string& h = trap.h;
    const fs::path system = fs::path(h).parent_path(); // the fake's usr/share and etc
    for (const char* installed : {"usr/share/plasma", "usr/share/aurorae", "usr/share/Color-Schemes", "usr/share/kxmlgui5",
                                  "etc/gtk-2.0", "usr/share/zoneinfo", "usr/local/share/pixmaps"})
        fs::create_directories(system / installed);
    struct Case {
        const char* dataHome;  // XDG_DATA_HOME below the home; the default when empty
        const char* stateHome; // XDG_STATE_HOME below the home
        std::vector<const char*> items;
        // XDG_DATA_DIRS, whose folders are then looked for below the fake's root; none: the fake's own
        const char* dataDirs = nullptr;
    };
    const std::vector<Case> cases{
        {"", ".local/state",
         {".local/share/Fonts", ".local/share/Wallpapers", ".local/share/kwalletd", ".local/share/password-store",
          ".local/share/plasma", ".local/share/aurorae", ".local/share/color-schemes", ".local/share/kxmlgui5",
          ".config/gtk-2.0"}},
        {".local", ".state", {".local/libexec", ".local/include"}},
        // With no absolute entry the variable counts as unset: the usual folders are the system's.
        {"", ".local/state", {".local/share/zoneinfo", ".config/pixmaps"}, ":::"},
        {"", ".local/state", {".local/share/zoneinfo", ".config/pixmaps"}, "usr/share:share"},
    };
    const auto offered = [](const AppInventory& inventory) {
        std::vector<std::string> all = paths(inventory.orphans);
        for (const InstalledApp& app : inventory.apps)
            for (const LeftoverItem& item : app.leftovers) all.push_back(item.path);
        return all;
    };
    const auto neverOffered = [&](const std::vector<std::string>& items, const AppSources& sources) {
        const std::vector<std::string> all = offered(AppUninstaller::scan(sources));
        for (const std::string& item : items) {
            EXPECT_EQ(std::count(all.begin(), all.end(), item), 0) << item;
            RecordingTrash trash;
            AppUninstaller::removeOrphan({.path = item, .size = 3'000'000, .kind = "Application Support"}, sources,
                                         trash.trasher());
            EXPECT_TRUE(trash.calls.empty()) << item;
        }
    };
    for (const Case& c : cases) {
        ::setenv("XDG_DATA_HOME", (*c.dataHome ? h + "/" + c.dataHome : h + "/.local/share").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (h + "/" + c.stateHome).c_str(), 1);
        std::vector<std::string> items;
        for (const char* item : c.items) {
            file(h + "/" + item + "/big", 3'000'000);
            items.push_back(h + "/" + item);
        }
        fs::remove_all(h + "/.local/share/applications"); // no launcher of the user's holds ~/.local back
        AppSources sources = trap.home.sources();
        if (c.dataDirs) {
            ::setenv("XDG_DATA_DIRS", c.dataDirs, 1);
            sources.systemFolders.clear();
            for (const std::string& folder : AppSources::system().systemFolders)
                sources.systemFolders.push_back(system.string() + folder);
        }
        neverOffered(items, sources);
    }
    ::setenv("XDG_DATA_HOME", (h + "/.local/share").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (h + "/.local/state").c_str(), 1);
    const std::string mounted = h + "/.local/share/bigstore";
    fs::create_directories(mounted);
    const bool ran = test::runInPrivateMounts([&] {
        if (::mount("tm-store", mounted.c_str(), "tmpfs", 0, "size=8m") != 0) _exit(77);
        file(mounted + "/big", 3'000'000);
        neverOffered({mounted}, trap.home.sources());
    });
    if (!ran) GTEST_SKIP() << "no permission to mount a file system in a mount namespace of its own";
}

// What changed between discovery and the move is checked at the moment of the move.
TEST(AppOwnership, EachPathIsCheckedAgainJustBeforeItMoves) {
    TrapHome trap;
    const std::string& h = trap.h;
    const AppInventory inventory = trap.scan();
    const LeftoverItem game = inventory.orphans.at(1);
    ASSERT_EQ(game.path, h + "/.local/state/removedgame");
    RecordingTrash trash;
    auto refusedOrphan = [&](const char* what) {
        trash.calls.clear();
        const auto removal = AppUninstaller::removeOrphan(game, trap.home.sources(), trash.trasher());
        EXPECT_TRUE(trash.calls.empty()) << what;
        EXPECT_EQ(removal.refused, std::vector<std::string>{game.path}) << what;
        ASSERT_EQ(removal.outcome.failed.size(), 1u) << what;
        EXPECT_EQ(removal.outcome.failed[0].second, "Could not remove removedgame: it is not this app's own") << what;
    };

    // it became a support root, then a named folder, then the home of a new app's program
    ::setenv("XDG_CACHE_HOME", game.path.c_str(), 1);
    refusedOrphan("a root");
    ::setenv("XDG_CACHE_HOME", (h + "/.cache").c_str(), 1);
    file(h + "/.config/user-dirs.dirs", 0);
    std::ofstream(h + "/.config/user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/.local/state/removedgame\"\n";
    refusedOrphan("a named folder");
    fs::remove(h + "/.config/user-dirs.dirs");
    program(game.path + "/bin/game");
    trap.app("game.desktop", "Game", game.path + "/bin/game");
    refusedOrphan("an app's program");
    fs::remove(h + "/.local/share/applications/game.desktop");
    if (::getuid() == 0) {
        ASSERT_EQ(::lchown(game.path.c_str(), 4242, 4242), 0);
        refusedOrphan("another user's");
        ASSERT_EQ(::lchown(game.path.c_str(), 0, 0), 0);
    }
    trash.calls.clear();
    AppUninstaller::removeOrphan(game, trap.home.sources(), trash.trasher());
    EXPECT_EQ(trash.moved(), std::vector<std::string>{game.path});

    // a bundle folder that now holds another launcher's program, or another AppImage, stays whole
    const InstalledApp& acme = find(inventory, "Acme Editor");
    for (const char* intruder : {"plugin-tool", "Other.AppImage"}) {
        program(acme.path + "/" + intruder);
        if (std::string_view(intruder) == "plugin-tool") trap.app("plugin.desktop", "Plugin Tool", acme.path + "/plugin-tool");
        trash.calls.clear();
        const auto removal = AppUninstaller::uninstall(acme, trap.home.sources(), trash.trasher());
        EXPECT_TRUE(trash.calls.empty()) << intruder;
        EXPECT_FALSE(removal.bundleMoved);
        EXPECT_EQ(removal.refused, std::vector<std::string>{acme.path});
        EXPECT_EQ(removal.outcome.failed.at(0).second, "Could not remove Acme: it is not this app's own");
        fs::remove(acme.path + "/" + intruder);
        fs::remove(h + "/.local/share/applications/plugin.desktop");
    }

    // a leftover's folder swapped for a link to the documents, which hold an item of that name:
    // the real Trash of the fake home takes the rest and leaves the documents alone
    file(h + "/Documents/com.acme.Editor/chapter1", 1'000);
    fs::rename(h + "/.cache", h + "/.cache-moved");
    fs::create_directory_symlink(h + "/Documents", h + "/.cache");
    const auto realTrash = [](const auto& paths, const auto& sizes, const PlaceRegistry& places) {
        return TrashService::trash(paths, sizes, places);
    };
    const auto removal = AppUninstaller::uninstall(acme, trap.home.sources(), realTrash);
    EXPECT_TRUE(removal.bundleMoved);
    EXPECT_EQ(removal.refused, std::vector<std::string>{h + "/.cache/com.acme.Editor"});
    EXPECT_EQ(removal.outcome.trashed, (std::vector<std::string>{acme.path, acme.desktopFile, h + "/.local/share/com.acme.editor-calculator",
                                                                 h + "/.config/com.acme.Editor.conf"}));
    EXPECT_TRUE(fs::exists(h + "/Documents/com.acme.Editor/chapter1"));
    EXPECT_TRUE(fs::exists(h + "/.cache-moved/com.acme.Editor"));
    EXPECT_FALSE(fs::exists(acme.path));
}

// An item gone since discovery is not refused as another's: the system's reason is given, and
// nothing is handed to the Trash.
TEST(AppOwnership, AnItemGoneSinceDiscoveryGivesTheSystemsReason) {
    const test::FakeAppHome home;
    const std::string h = home.home();
    const AppInventory inventory = AppUninstaller::scan(home.sources());
    RecordingTrash trash;

    const LeftoverItem tool = inventory.orphans.at(0);
    ASSERT_EQ(tool.path, h + "/.cache/com.old.tool");
    fs::remove_all(tool.path);
    const auto orphan = AppUninstaller::removeOrphan(tool, home.sources(), trash.trasher());
    EXPECT_TRUE(orphan.refused.empty());
    ASSERT_EQ(orphan.outcome.failed.size(), 1u);
    EXPECT_EQ(orphan.outcome.failed[0], (std::pair<std::string, std::string>{tool.path, "No such file or directory"}));

    const InstalledApp& acme = find(inventory, "Acme Editor");
    fs::remove_all(acme.path);
    const auto removal = AppUninstaller::uninstall(acme, home.sources(), trash.trasher());
    EXPECT_FALSE(removal.bundleMoved);
    EXPECT_TRUE(removal.refused.empty());
    ASSERT_EQ(removal.outcome.failed.size(), 1u);
    EXPECT_EQ(removal.outcome.failed[0], (std::pair<std::string, std::string>{acme.path, "No such file or directory"}));
    EXPECT_TRUE(trash.calls.empty());
}

// A folder swapped for a link after the check and before the move: the Trash, given the path the
// check resolved, reaches it without following links and refuses it.
TEST(AppOwnership, ALinkSwappedInAfterTheCheckIsNotFollowed) {
    const test::FakeAppHome home;
    const std::string h = home.home();
    const AppInventory inventory = AppUninstaller::scan(home.sources());
    const LeftoverItem tool = inventory.orphans.at(0);
    ASSERT_EQ(tool.path, h + "/.cache/com.old.tool");
    file(h + "/Documents/com.old.tool", 1'000);
    auto swapThenTrash = [&](const std::vector<std::string>& list, const std::unordered_map<std::string, std::int64_t>& sizes,
                             const PlaceRegistry& places) {
        fs::rename(h + "/.cache", h + "/.cache-moved");
        fs::create_directory_symlink(h + "/Documents", h + "/.cache");
        return TrashService::trash(list, sizes, places);
    };
    const auto removal = AppUninstaller::removeOrphan(tool, home.sources(), swapThenTrash);
    EXPECT_TRUE(removal.refused.empty());
    ASSERT_EQ(removal.outcome.failed.size(), 1u);
    EXPECT_EQ(removal.outcome.failed[0].second, "com.old.tool changed since the scan");
    EXPECT_TRUE(fs::exists(h + "/Documents/com.old.tool"));
    EXPECT_TRUE(fs::exists(h + "/.cache-moved/com.old.tool"));
}

} // namespace
} // namespace tallymere
