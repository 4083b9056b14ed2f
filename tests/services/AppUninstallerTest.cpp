#include "services/AppUninstaller.h"

#include "base/NameKey.h"
#include "support/EndsWithin.h"
#include "support/DeadFuse.h"
#include "support/FakeAppHome.h"
#include "support/StallingFuse.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <filesystem>
#include <future>
#include <memory>

namespace tallymere {
namespace {

const InstalledApp* find(const AppInventory& inventory, std::string_view name) {
    for (const InstalledApp& app : inventory.apps)
        if (app.name == name) return &app;
    return nullptr;
}

std::vector<std::string> leaves(const std::vector<LeftoverItem>& items) {
    std::vector<std::string> out;
    for (const LeftoverItem& item : items) out.push_back(std::filesystem::path(item.path).filename().string());
    return out;
}

TEST(AppNames, NormaliseAndProtect) {
    EXPECT_EQ(NameKey::normalize("com.Acme.Widget-Pro"), "comacmewidgetpro");
    EXPECT_EQ(NameKey::normalize("Ünïcode_Straße 2"), "ünïcodestraße2");
    EXPECT_EQ(NameKey::normalize("\xff" "ab"), "ab");
    EXPECT_TRUE(AppUninstaller::isProtected("/h/.config/com.apple.x"));
    EXPECT_TRUE(AppUninstaller::isProtected("/h/.cache/Thunder-MAIL"));
    EXPECT_TRUE(AppUninstaller::isProtected("/h/.local/share/Trash"));
    EXPECT_TRUE(AppUninstaller::isProtected("/h/.config/user-dirs.dirs/"));
    EXPECT_FALSE(AppUninstaller::isProtected("/h/.local/share/trashy"));
}

TEST(AppMatching, IdentifierWordAndExactName) {
    InstalledApp app{.name = "Widget Pro", .bundleID = "com.acme.widget"};
    std::vector<LeftoverItem> index;
    for (const char* leaf : {"com.acme.widget.plist", "com.other.widget-agent", "group.acme.widget", "Widget",
                             "widgets", "com.acme.widget.mail"})
        index.push_back({.path = std::string("/h/.config/") + leaf, .size = 1, .kind = "Preferences"});
    // "Widget" needs the name rule: the whole normalised name, of five letters or more
    EXPECT_EQ(leaves(AppUninstaller::match(app, index)),
              (std::vector<std::string>{"com.acme.widget.plist", "com.other.widget-agent"}));
    app.name = "Widget";
    EXPECT_EQ(leaves(AppUninstaller::match(app, index)),
              (std::vector<std::string>{"com.acme.widget.plist", "com.other.widget-agent", "Widget"}));
    // without a reverse-DNS identifier and with a short name, nothing is claimed
    EXPECT_TRUE(AppUninstaller::match(InstalledApp{.name = "Code"}, index).empty());
}

TEST(AppDiscovery, ListsEveryKindOfLauncher) {
    const test::FakeAppHome fakeHome;
    const AppInventory inventory = AppUninstaller::scan(fakeHome.sources());
    const InstalledApp* widget = find(inventory, "Widget Studio");
    const InstalledApp* acme = find(inventory, "Acme Editor");
    const InstalledApp* calculator = find(inventory, "Calculator");
    const InstalledApp* firefox = find(inventory, "Firefox");
    const InstalledApp* env = find(inventory, "Env Tool");
    ASSERT_TRUE(widget && acme && calculator && firefox && env);
    EXPECT_FALSE(find(inventory, "Ghost Thing"));
    EXPECT_FALSE(find(inventory, "Gone Thing"));

    // the AppImage file and the program folder are the user's own; the rest are the system's
    EXPECT_FALSE(widget->isSystem);
    EXPECT_EQ(widget->path, fakeHome / "Applications/Widget-1.2.AppImage");
    EXPECT_EQ(widget->version, "1.2");
    EXPECT_EQ(widget->bundleID, "");
    EXPECT_GE(widget->size, 100'000);
    EXPECT_TRUE(widget->lastUsed.has_value());
    EXPECT_EQ(widget->iconName, "widget");
    EXPECT_FALSE(acme->isSystem);
    EXPECT_EQ(acme->path, fakeHome / ".local/opt/Acme");
    EXPECT_EQ(acme->bundleID, "com.acme.Editor");
    EXPECT_EQ(acme->version, "\u2014");
    EXPECT_GE(acme->size, 250'000);
    EXPECT_TRUE(calculator->isSystem);
    EXPECT_EQ(calculator->version, "44.1");
    EXPECT_TRUE(firefox->isSystem);
    EXPECT_TRUE(env->isSystem);
    EXPECT_EQ(env->path, env->desktopFile);

    // leftovers: largest first; the item Acme (by its identifier) and Calculator (by its
    // identifier's last word) both claim goes to the longer match; protected items go with neither
    EXPECT_EQ(leaves(acme->leftovers),
              (std::vector<std::string>{"com.acme.Editor", "com.acme.editor-calculator", "com.acme.Editor.conf"}));
    EXPECT_EQ(acme->leftovers[0].kind, "Cache");
    EXPECT_EQ(leaves(widget->leftovers), (std::vector<std::string>{"Widget Studio"}));
    EXPECT_EQ(leaves(calculator->leftovers), (std::vector<std::string>{"org.gnome.Calculator"}));
    EXPECT_EQ(leaves(firefox->leftovers), (std::vector<std::string>{"org.mozilla.firefox"}));
    EXPECT_EQ(firefox->leftovers[0].kind, "Container");
    // a support file by its length, a folder by its blocks
    EXPECT_EQ(acme->leftovers[2].size, 1'000);

    // orphans: above 2 MB, unclaimed, unprotected, not an installed command's data
    EXPECT_EQ(leaves(inventory.orphans), (std::vector<std::string>{"com.old.tool", "removedgame"}));
    EXPECT_EQ(inventory.orphans[0].size, 12'345'678);

    // largest footprint first
    for (std::size_t i = 1; i < inventory.apps.size(); ++i) {
        auto total = [](const InstalledApp& a) {
            std::int64_t t = a.size;
            for (const auto& l : a.leftovers) t += l.size;
            return t;
        };
        EXPECT_GE(total(inventory.apps[i - 1]), total(inventory.apps[i]));
    }
}

TEST(AppUninstall, BundleFirstAndNothingElseWhenItStays) {
    const test::FakeAppHome fakeHome;
    const AppInventory inventory = AppUninstaller::scan(fakeHome.sources());
    const InstalledApp acme = *find(inventory, "Acme Editor");
    const std::vector<std::string> paths = AppUninstaller::uninstallPaths(acme);
    ASSERT_EQ(paths.size(), 5u); // bundle, launcher and three leftovers
    EXPECT_EQ(paths[0], acme.path);
    EXPECT_EQ(paths[1], acme.desktopFile);

    // a Trash that refuses the bundle: nothing else is touched
    std::vector<std::vector<std::string>> calls;
    auto failing = [&](const std::vector<std::string>& list, const std::unordered_map<std::string, std::int64_t>&,
                       const PlaceRegistry&) {
        calls.push_back(list);
        TrashService::Outcome outcome;
        for (const auto& p : list) outcome.failed.emplace_back(p, "Permission denied");
        return outcome;
    };
    const auto refused = AppUninstaller::uninstall(acme, fakeHome.sources(), failing);
    EXPECT_FALSE(refused.bundleMoved);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::vector<std::string>{acme.path});
    EXPECT_EQ(refused.outcome.failed.size(), 1u);

    // a system app is never moved
    calls.clear();
    EXPECT_TRUE(AppUninstaller::uninstall(*find(inventory, "Calculator"), fakeHome.sources(), failing).outcome.trashed.empty());
    EXPECT_TRUE(calls.empty());

    // the real Trash of the fake home: everything moves, and the next discovery no longer lists it
    const auto realTrash = [](const auto& paths, const auto& sizes, const PlaceRegistry& places) {
        return TrashService::trash(paths, sizes, places);
    };
    const auto done = AppUninstaller::uninstall(acme, fakeHome.sources(), realTrash);
    EXPECT_TRUE(done.bundleMoved);
    EXPECT_EQ(done.outcome.trashed, paths);
    EXPECT_TRUE(done.outcome.failed.empty());
    EXPECT_GE(done.outcome.freed, acme.size);
    EXPECT_FALSE(std::filesystem::exists(acme.path));
    const AppInventory after = AppUninstaller::scan(fakeHome.sources());
    EXPECT_FALSE(find(after, "Acme Editor"));
    // the item both claimed went with Acme Editor
    EXPECT_EQ(leaves(find(after, "Calculator")->leftovers), (std::vector<std::string>{"org.gnome.Calculator"}));
}

// A folder of the data folder where a FUSE file system that stopped answering is mounted (a vault
// whose server hangs) is left out after the bounded wait; the rest is listed as ever, and the
// discovery ends (taken down here after a while, so the test fails instead of hanging).
TEST(AppDiscovery, AMountThatNeverAnswersAmongTheSupportFoldersIsLeftOut) {
    const test::FakeAppHome fakeHome;
    const std::string dead = fakeHome / ".local/share/vault";
    std::filesystem::create_directories(dead);
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::DeadFuse>(dead);
        if (!fuse->isMounted()) test::cannotRunHere(fuse->whyNotMounted());
        auto discovery = std::async(std::launch::async, [&] { return AppUninstaller::scan(fakeHome.sources()); });
        if (discovery.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the discovery waited on the mount";
            fuse.reset();
        }
        const AppInventory inventory = discovery.get();
        EXPECT_EQ(leaves(inventory.orphans), (std::vector<std::string>{"com.old.tool", "removedgame"}));
        EXPECT_TRUE(find(inventory, "Acme Editor"));
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A leftover on a FUSE mount that stopped answering after the listing stays: its one-click move,
// and the uninstall that reaches it, say so within the gate's bound, where the look before the
// move waited for as long as the mount stayed stuck; the sources read for the move resolve a data
// folder on it as well, and the process can end.
TEST(AppUninstall, ALeftoverOnAMountThatStoppedAnsweringStaysAndSaysSo) {
    const test::FakeAppHome fakeHome;
    const std::string sync = fakeHome / ".cache/com.acme.Editor.sync";
    std::filesystem::create_directories(sync);
    std::ofstream(sync + "/state") << "kept";
    const bool ran = test::runInPrivateMounts([&] {
        // Listed while a folder of the disk, which is then mounted over (a mount point is never
        // offered) by a server that stops.
        const InstalledApp acme = *find(AppUninstaller::scan(fakeHome.sources()), "Acme Editor");
        const auto item = std::find_if(acme.leftovers.begin(), acme.leftovers.end(), [&](auto& l) { return l.path == sync; });
        ASSERT_NE(item, acme.leftovers.end());
        auto fuse = std::make_unique<test::StallingFuse>(sync);
        if (!fuse->isMounted()) ::_exit(77);
        fuse->stall();
        ::setenv("XDG_STATE_HOME", (sync + "/sub").c_str(), 1);

        const bool ended = test::endsWithin(30, [&] {
            std::vector<std::string> handed;
            auto trash = [&](const std::vector<std::string>& paths, const std::unordered_map<std::string, std::int64_t>&,
                             const PlaceRegistry&) {
                handed.insert(handed.end(), paths.begin(), paths.end());
                return TrashService::Outcome{.trashed = paths, .failed = {}, .freed = 0};
            };
            const std::vector<std::pair<std::string, std::string>> stays{{sync, "Its file system does not answer"}};
            EXPECT_EQ(AppUninstaller::removeOrphan(*item, fakeHome.sources(), trash).outcome.failed, stays);
            const AppUninstaller::Removal removal = AppUninstaller::uninstall(acme, fakeHome.sources(), trash);
            EXPECT_TRUE(removal.bundleMoved);
            EXPECT_EQ(removal.outcome.failed, stays);
            EXPECT_EQ(std::count(handed.begin(), handed.end(), sync), 0);
            EXPECT_EQ(handed.size(), AppUninstaller::uninstallPaths(acme).size() - 1);
        });
        EXPECT_TRUE(ended) << "a process that moved beside the mount could not end";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

TEST(AppDiscovery, EmptyHomeGivesNothing) {
    test::TempFolder empty("tallymere-empty");
    AppSources sources{.home = empty.path(), .dataHome = empty / ".local/share",
                       .supportRoots = AppSources::supportRootsFor(empty.path()), .userFolders = {}, .entries = {},
                       .installedNames = {}};
    const AppInventory inventory = AppUninstaller::scan(sources);
    EXPECT_TRUE(inventory.apps.empty());
    EXPECT_TRUE(inventory.orphans.empty());
}

} // namespace
} // namespace tallymere
