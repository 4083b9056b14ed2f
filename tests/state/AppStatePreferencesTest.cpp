#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "core/DiskInfo.h"
#include "platform/FreedesktopTrash.h"
#include "platform/PathGate.h"
#include "services/SnapshotStore.h"
#include "state/PreferenceStore.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QSettings>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <thread>
#include <future>
#include <limits>

using namespace tallymere;
using namespace tallymere::test;

namespace {

std::shared_ptr<MemoryPreferenceStore> storeWith(std::initializer_list<std::pair<const char*, QVariant>> values) {
    auto store = memoryStore();
    for (const auto& [key, value] : values) store->setValue(QString::fromLatin1(key), value);
    return store;
}

std::string textOf(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(AppStatePreferences, FirstLaunchHasTheDefaultsAndWritesNothing) {
    auto store = memoryStore();
    AppState state(store);
    EXPECT_EQ(state.themeID(), ThemeID::paper);
    EXPECT_EQ(state.viz(), VizMode::treemap);
    EXPECT_EQ(state.tab(), WorkspaceTab::explore);
    EXPECT_TRUE(state.useAllocatedSize());
    EXPECT_TRUE(state.showLabels());
    EXPECT_EQ(state.colorMode(), ColorMode::branch);
    EXPECT_EQ(state.treemapDepth(), 7.0);
    EXPECT_TRUE(state.recents().empty());
    EXPECT_FALSE(state.root() || state.displayRoot() || state.focus());
    EXPECT_FALSE(state.banner().has_value());
    EXPECT_EQ(store->writeCount(), 0);
}

TEST(AppStatePreferences, StoredValuesComeBackAndAreNotOverwrittenWhileRestoring) {
    auto store = storeWith({{"vizMode", "pack"},
                            {"themeID", "sage"},
                            {"useAllocated", false},
                            {"treemapDepth", 4.0},
                            {"colorMode", "age"}});
    AppState state(store);
    EXPECT_EQ(state.viz(), VizMode::pack);
    EXPECT_EQ(state.themeID(), ThemeID::sage);
    EXPECT_FALSE(state.useAllocatedSize());
    EXPECT_EQ(state.treemapDepth(), 4.0);
    EXPECT_EQ(state.colorMode(), ColorMode::age);
    // The first restored value persisted all five keys; the later ones must have been read first.
    EXPECT_EQ(store->value("colorMode").toString(), "age");
    EXPECT_EQ(store->value("treemapDepth").toDouble(), 4.0);
}

TEST(AppStatePreferences, WrongKindsAndUnknownRawValuesKeepTheDefaults) {
    auto store = storeWith({{"vizMode", "Pack"},          // raw values match exactly
                            {"themeID", 3},               // not a string
                            {"useAllocated", "perhaps"},  // not a Boolean
                            {"treemapDepth", "deep"},     // not a number
                            {"colorMode", QStringList{"age"}},
                            {"recentScanPaths", 12}});
    AppState state(store);
    EXPECT_EQ(state.viz(), VizMode::treemap);
    EXPECT_EQ(state.themeID(), ThemeID::paper);
    EXPECT_TRUE(state.useAllocatedSize());
    EXPECT_EQ(state.treemapDepth(), 7.0);
    EXPECT_EQ(state.colorMode(), ColorMode::branch);
    EXPECT_TRUE(state.recents().empty());
}

TEST(AppStatePreferences, DepthIsUsedWhenSaneIgnoredWhenNotANumberAndClampedWhenAbsurd) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<QVariant, double> cases[] = {
        {40.0, 40.0}, {QStringLiteral("4.5"), 4.5}, {nan, 7.0}, {inf, 7.0}, {-inf, 7.0},
        {1e12, AppState::maxTreemapDepth}, {-3.0, AppState::minTreemapDepth}, {0, AppState::minTreemapDepth},
    };
    for (const auto& [stored, expected] : cases) {
        AppState state(storeWith({{"treemapDepth", stored}}));
        EXPECT_EQ(state.treemapDepth(), expected) << stored.toString().toStdString();
    }

    AppState state(memoryStore());
    state.setTreemapDepth(5);
    state.setTreemapDepth(nan);
    EXPECT_EQ(state.treemapDepth(), 5.0);
}

TEST(AppStatePreferences, EveryAssignmentWritesAllFiveKeysEvenWhenUnchanged) {
    auto store = memoryStore();
    AppState state(store);
    int vizSignals = 0;
    QObject::connect(&state, &AppState::vizChanged, [&] { ++vizSignals; });

    state.setViz(VizMode::treemap);
    EXPECT_EQ(store->writeCount(), 5);
    EXPECT_EQ(vizSignals, 0); // nothing changed for the views
    EXPECT_EQ(store->value("themeID").toString(), "paper");
    EXPECT_EQ(store->value("vizMode").toString(), "treemap");
    EXPECT_EQ(store->value("useAllocated").toBool(), true);
    EXPECT_EQ(store->value("treemapDepth").toDouble(), 7.0);
    EXPECT_EQ(store->value("colorMode").toString(), "branch");

    state.setShowLabels(false);
    state.setTab(WorkspaceTab::monitor);
    EXPECT_EQ(store->writeCount(), 5); // neither is persisted

    state.setColorMode(ColorMode::type);
    EXPECT_EQ(store->writeCount(), 10);
    EXPECT_EQ(store->value("colorMode").toString(), "type");
}

TEST(AppStatePreferences, RecentsKeepOnlyPathsThatStillExist) {
    TempFolder dir;
    const std::string kept = dir.folder("Projects");
    auto store = storeWith({{"recentScanPaths", QStringList{"/", QString::fromStdString(dir / "gone"),
                                                            QString::fromStdString(kept)}}});
    AppState state(store);
    ASSERT_EQ(state.recents().size(), 2u);
    EXPECT_EQ(state.recents()[0], ScanTarget::fullDisk());
    EXPECT_EQ(state.recents()[0].title, "Macintosh HD");
    EXPECT_EQ(state.recents()[1].path, kept);
    EXPECT_EQ(state.recents()[1].title, "Projects");
    EXPECT_FALSE(state.recents()[1].isFullDisk);
    // The stored list is not rewritten on restore.
    EXPECT_EQ(store->value("recentScanPaths").toStringList().size(), 3);

    // A list of thousands (never stored by the program) is read only as far as the program keeps it.
    QStringList many{"/", QString::fromStdString(kept)};
    for (int i = 0; i < 3000; ++i) many.append(QString::fromStdString(dir.folder("many/" + std::to_string(i))));
    AppState crowded(storeWith({{"recentScanPaths", many}}));
    ASSERT_EQ(crowded.recents().size(), AppState::maxRecents);
    EXPECT_EQ(crowded.recents()[1].path, kept);
    EXPECT_EQ(crowded.recents()[5].title, "3");
}

TEST(AppStatePreferences, SettingsFileRoundTripsEveryKind) {
    TempFolder dir;
    const QString ini = QString::fromStdString(dir / "prefs.ini");
    const std::string folder = dir.folder("only");
    {
        AppState state(std::make_shared<SettingsPreferenceStore>(ini));
        state.setThemeID(ThemeID::slate);
        state.setUseAllocatedSize(false);
        state.setTreemapDepth(3.5);
        state.scan(ScanTarget::folder(folder));
        ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    }
    // Written by the store's thread, and waited for as the store ends.
    EXPECT_NE(textOf(ini.toStdString()).find("themeID=slate\n"), std::string::npos);
    // Through an INI file Booleans, numbers and a one-element list come back as text.
    AppState state(std::make_shared<SettingsPreferenceStore>(ini));
    EXPECT_EQ(state.themeID(), ThemeID::slate);
    EXPECT_FALSE(state.useAllocatedSize());
    EXPECT_EQ(state.treemapDepth(), 3.5);
    ASSERT_EQ(state.recents().size(), 1u);
    EXPECT_EQ(state.recents()[0].path, folder);
}

TEST(AppStatePreferences, AFileTheToolkitWroteReadsBackTheSameAndWhatTheStoreWritesReadsBackInTheToolkit) {
    TempFolder dir;
    const QString old = QString::fromStdString(dir / "old.conf");
    const QString fresh = QString::fromStdString(dir / "fresh.conf");
    const std::pair<QString, QVariant> values[] = {
        {"themeID", "slate"},
        {"useAllocated", false},
        {"treemapDepth", 3.25},
        {"count", 12},
        {"text", QString::fromUtf8("  caf\xC3\xA9, \"quoted\"; a=b \\ \t\n\x01" "2 \xE6\x97\xA5 @  ")},
        {"empty", ""},
        {"tagged", "@Invalid()"},
        {"recentScanPaths", QStringList{"/", "/home/al/My, Files", " lead", "trail ", "@at", "@@two", "",
                                        QString::fromUtf8("/caf\xC3\xA9/\xF0\x9F\x93\x81"), "back\\slash\"quote"}},
        {"one", QStringList{"/only, one"}},
        {"none", QStringList{}},
        {"Window/geometry", QByteArray("\0\x01\xFF(raw), 7", 14)},
        {"Window/shown", QDateTime(QDate(2024, 5, 1), QTime(12, 30), Qt::UTC)},
        {"odd section/key with space", QString::fromUtf8("\xC3\xA9")},
    };
    {
        // Copied to a path the toolkit has not seen, so that it reads the file back rather than
        // keep the values it wrote.
        QSettings toolkit(QString::fromStdString(dir / "written.conf"), QSettings::IniFormat);
        for (const auto& [key, value] : values) toolkit.setValue(key, value);
    }
    std::filesystem::copy_file(dir / "written.conf", old.toStdString());
    QHash<QString, QVariant> expected;
    {
        const QSettings toolkit(old, QSettings::IniFormat);
        for (const auto& [key, value] : values) expected.insert(key, toolkit.value(key));
    }
    {
        SettingsPreferenceStore store(old);
        for (const auto& [key, value] : values) EXPECT_EQ(store.value(key), expected.value(key)) << key.toStdString();
        store.setValue("themeID", "mist");
    }
    // Rewritten with one change, the file keeps every other value as the toolkit wrote it.
    expected.insert("themeID", "mist");
    {
        const QSettings toolkit(old, QSettings::IniFormat);
        for (const auto& [key, value] : values) EXPECT_EQ(toolkit.value(key), expected.value(key)) << key.toStdString();
    }
    {
        SettingsPreferenceStore store(fresh);
        for (const auto& [key, value] : values) store.setValue(key, value);
        store.setValue("themeID", "mist");
    }
    const QSettings toolkit(fresh, QSettings::IniFormat);
    EXPECT_EQ(toolkit.allKeys().size(), qsizetype(std::size(values)));
    for (const auto& [key, value] : values) EXPECT_EQ(toolkit.value(key), expected.value(key)) << key.toStdString();
}

TEST(AppStatePreferences, AChangeWithTheSettingsOnAMountThatStoppedAnsweringHoldsNeitherTheCallerNorTheEnd) {
    using Clock = std::chrono::steady_clock;
    const auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    const double bound = std::chrono::duration<double>(PathGate::answerLimit).count();
    TempFolder dir;
    const std::string mount = dir.folder("net");
    const QString ini = QString::fromStdString(mount + "/Tallymere.conf");
    const bool ran = runInPrivateMounts([&] {
        StallingFuse fuse(mount);
        if (!fuse.isMounted()) cannotRunHere("no FUSE mount here");
        {
            SettingsPreferenceStore store(ini);
            store.setValue("themeID", "mist");
        }
        EXPECT_EQ(PathGate::readFile(ini.toStdString(), 0, 100).text, "[General]\nthemeID=mist\n");
        const bool ended = endsWithin(30, [&] {
            auto store = std::make_unique<SettingsPreferenceStore>(ini);
            EXPECT_EQ(store->value("themeID").toString(), "mist");
            fuse.stall();
            auto start = Clock::now();
            store->setValue("themeID", "slate");
            EXPECT_LT(secondsSince(start), 0.1);
            EXPECT_EQ(store->value("themeID").toString(), "slate");
            start = Clock::now();
            store.reset();
            EXPECT_LT(secondsSince(start), bound + 0.2);

            // Made while the mount is silent, a store holds its values in memory without reading.
            start = Clock::now();
            SettingsPreferenceStore silent(ini);
            EXPECT_FALSE(silent.value("themeID").isValid());
            silent.setValue("themeID", "slate");
            EXPECT_LT(secondsSince(start), bound + 0.2);
        });
        EXPECT_TRUE(ended);
    });
    if (!ran) GTEST_SKIP() << whyNotRun();
}

// The settings file as the program finds it, with HOME and XDG_CONFIG_HOME set for the test.
class SettingsFolder : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            if (const char* value = std::getenv(name)) saved[name] = value;
        ::setenv("HOME", dir.folder("home").c_str(), 1);
    }
    void TearDown() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            if (const auto found = saved.find(name); found != saved.end()) ::setenv(name, found->second.c_str(), 1);
            else ::unsetenv(name);
        }
    }
    TempFolder dir;
    std::map<std::string, std::string> saved;
};

TEST_F(SettingsFolder, ARelativeConfigFolderIsIgnoredAndAPipeOrAHugeFileIsNeitherReadNorReplaced) {
    // A relative folder is no configuration folder: ~/.config is, not one below the working folder.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(dir.folder("work"));
    {
        SettingsPreferenceStore store;
        store.setValue("themeID", "slate");
    }
    std::filesystem::current_path(started);
    EXPECT_FALSE(std::filesystem::exists(dir / "work/relative"));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "home/.config/Tallymere/Tallymere.conf"));

    // A pipe where the file belongs: a writer stands ready to hand a reader a theme, and is let go
    // at the end whether or not anything read it.
    const std::string pipe = dir.folder("config/Tallymere") + "/Tallymere.conf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return;
        const char text[] = "[General]\nthemeID=mist\n";
        [[maybe_unused]] const auto written = ::write(fd, text, sizeof text - 1);
        ::close(fd);
    });
    {
        SettingsPreferenceStore store(QString::fromStdString(pipe));
        EXPECT_FALSE(store.value("themeID").isValid());
        store.setValue("themeID", "slate");
        EXPECT_EQ(store.value("themeID").toString(), "slate");
    }
    const int release = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer.join();
    if (release >= 0) ::close(release);
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));

    // A file of gigabytes (here a sparse one of 64 MiB, taking no room) is not read whole into
    // memory, nor replaced by the few values that could be made of it.
    std::filesystem::remove(pipe);
    std::ofstream(pipe) << "[General]\nthemeID=mist\n";
    std::filesystem::resize_file(pipe, 64 << 20);
    {
        SettingsPreferenceStore store(QString::fromStdString(pipe));
        EXPECT_FALSE(store.value("themeID").isValid());
        store.setValue("themeID", "slate");
        EXPECT_EQ(store.value("themeID").toString(), "slate");
    }
    EXPECT_EQ(std::filesystem::file_size(pipe), 64u << 20);
}

TEST_F(SettingsFolder, ALockFileLeftBesideTheSettingsNeitherHoldsNorStopsASave) {
    // The toolkit's settings object saves only under a lock file beside the settings: it reads a pipe
    // there for ever, and waits for ever on a folder or a link it cannot take. The store takes no
    // lock: whatever lies there is left alone, and the settings are saved.
    const std::string folder = dir.folder("home/.config/Tallymere");
    const std::string file = folder + "/Tallymere.conf";
    const std::string lock = file + ".lock";
    ::unsetenv("XDG_CONFIG_HOME");
    const std::function<void()> blockers[] = {
        [&] { ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0); },
        [&] { std::filesystem::create_directory(lock); },
        [&] { std::filesystem::create_symlink(dir / "nowhere", lock); },
        [&] { // a lock left long ago is removed under a second lock, read like the first
            std::ofstream(lock) << "left";
            const auto dayAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
            std::filesystem::last_write_time(lock, dayAgo);
            ASSERT_EQ(::mkfifo((lock + ".rmlock").c_str(), 0600), 0);
        },
    };
    for (const auto& block : blockers) {
        std::ofstream(file) << "[General]\nthemeID=mist\n";
        block();
        {
            AppState state(std::make_shared<SettingsPreferenceStore>());
            EXPECT_EQ(state.themeID(), ThemeID::mist);
            state.setThemeID(ThemeID::slate);
        }
        EXPECT_NE(textOf(file).find("themeID=slate\n"), std::string::npos);
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(lock)));
        for (const std::string& made : {lock, lock + ".rmlock"}) std::filesystem::remove(made);
    }
}

TEST_F(SettingsFolder, NothingIsMadeBelowAHomeThatIsNotThere) {
    // A home not mounted yet, or a HOME naming a folder that is gone or a file: no settings, Trash or
    // snapshot folder brings it into being.
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
    const std::string item = dir.file("work/report.txt", 3);
    const std::string fileHome = dir.file("plain", 1);
    for (const std::string& home : {dir / "gone", fileHome}) {
        ::setenv("HOME", home.c_str(), 1);
        {
            AppState state(std::make_shared<SettingsPreferenceStore>());
            state.setThemeID(ThemeID::slate);
            EXPECT_EQ(state.themeID(), ThemeID::slate);
        }
        const auto trashed = FreedesktopTrash::moveToTrash(item);
        EXPECT_FALSE(trashed.moved);
        EXPECT_NE(trashed.error.find("the home folder " + home), std::string::npos) << trashed.error;
        EXPECT_THROW(SnapshotStore::save(Snapshot{}), SnapshotStore::SaveError);
        EXPECT_TRUE(SnapshotStore::load().empty());
        EXPECT_TRUE(std::filesystem::is_regular_file(item));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "gone"));
    EXPECT_EQ(std::filesystem::file_size(fileHome), 1u);
}

TEST_F(SettingsFolder, AnotherUsersConfigFolderIsNeitherReadNorWritten) {
    if (::getuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    // Root started with a user's HOME: the user's settings stay the user's.
    const std::string config = dir.folder("home/.config");
    const std::string file = dir.file("home/.config/Tallymere/Tallymere.conf", 0);
    std::ofstream(file) << "[General]\nthemeID=mist\n";
    ASSERT_EQ(::chown(config.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chown((config + "/Tallymere").c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chown(file.c_str(), 4242, 4242), 0);
    ::unsetenv("XDG_CONFIG_HOME");
    {
        SettingsPreferenceStore store;
        EXPECT_FALSE(store.value("themeID").isValid());
        store.setValue("themeID", "slate");
        EXPECT_EQ(store.value("themeID").toString(), "slate");
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[General]\nthemeID=mist\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4242u);
}

TEST(AppStateIdentifiers, TargetsTakeTheirTitlesFromTheirPaths) {
    EXPECT_EQ(ScanTarget::folder("/home/al/Music/").title, "Music");
    EXPECT_FALSE(ScanTarget::folder("/").isFullDisk); // "/" chosen as a folder is not the whole disk
    EXPECT_EQ(ScanTarget::recent("/").title, "Macintosh HD");
    EXPECT_EQ(ScanTarget::folder("/tmp/caf\xC3").title, "caf\xEF\xBF\xBD");
    EXPECT_EQ(absoluteCleanPath("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(absoluteCleanPath("/.."), "/");
    EXPECT_EQ(absoluteCleanPath("rel").front(), '/');
}

TEST(AppStateVolumes, AMountThatDoesNotAnswerNeverHoldsTheStore) {
    AppState state(memoryStore());
    TempFolder dir;
    dir.file("mountinfo", 0);
    {
        std::ofstream table(dir / "mountinfo");
        table << "21 1 8:1 / / rw shared:1 - ext4 /dev/sda1 rw\n"
                 "22 1 0:50 / /media/al/stuck rw shared:2 - fuse.localfs localfs rw\n";
    }
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    VolumeSources sources;
    sources.mountInfo = dir / "mountinfo";
    sources.labelFolder = dir / "no-labels";
    sources.sysfsRoot = dir / "no-sys";
    sources.capacity = [released](const std::string& mountPoint) {
        if (mountPoint != "/") released.wait(); // stat on a dead server
        return std::optional<VolumeCapacity>(VolumeCapacity{1000, 500});
    };

    const std::vector<VolumeInfo> before = state.volumes();
    state.setVolumeSources(sources);
    // Read off the main thread: nothing has changed when the call returns.
    EXPECT_EQ(state.volumes(), before);
    ASSERT_TRUE(waitUntil([&] { return state.volumes().size() == 1 && state.volumes()[0].path == "/"; }));
    release->set_value();
}
