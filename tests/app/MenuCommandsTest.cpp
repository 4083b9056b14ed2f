#include "app/MenuCommands.h"

#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "support/TreeText.h"
#include "base/DesktopActions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QApplication>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

#include <chrono>

#include <array>
#include <atomic>

#include <filesystem>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

struct RecordingDesktop : DesktopActions {
    std::vector<std::vector<std::string>> revealed;
    std::optional<std::string> reveal(const std::vector<std::string>& paths) override {
        revealed.push_back(paths);
        return std::nullopt;
    }
    std::optional<std::string> open(const std::string&) override { return std::nullopt; }
};

// A store on an in-memory defaults store, its menus, and recorders for what leaves the program.
struct Fixture {
    TempFolder dir;
    std::shared_ptr<MemoryPreferenceStore> preferences = test::memoryStore();
    AppState state{preferences};
    RecordingDesktop desktop;
    std::vector<std::vector<std::string>> previewed;
    int settingsShown = 0;
    QMenuBar bar;
    MenuCommands commands{state, services()};

    Fixture() {
        // The Trash of this test lives in its own folder.
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        std::filesystem::create_directories(dir / "data");
        commands.install(&bar);
    }

    MenuCommands::Services services() {
        MenuCommands::Services s;
        s.desktop = &desktop;
        s.preview = [this](const std::vector<std::string>& paths) { previewed.push_back(paths); };
        s.homeFolder = [this] { return dir / "home"; };
        s.showSettings = [this] { ++settingsShown; };
        return s;
    }

    QAction* item(const QString& title) {
        QAction* found = commands.action(title);
        EXPECT_NE(found, nullptr) << title.toStdString();
        return found;
    }
    // Scans a small tree: tree/a/x (300 bytes), tree/b (100 bytes).
    void scanTree() {
        dir.file("tree/a/x", 300);
        dir.file("tree/b", 100);
        ASSERT_TRUE(test::scanAndWait(state, dir / "tree"));
        ASSERT_NE(state.displayRoot(), nullptr);
    }
    AppState::NodePtr child(const AppState::NodePtr& folder, std::string_view name) {
        for (FileNode* node : folder->children())
            if (node->name() == name) return state.retain(node);
        return nullptr;
    }
};

QStringList titles(const QMenu* menu) {
    QStringList out;
    for (QAction* action : menu->actions()) out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

} // namespace

TEST(MenuLayout, MenusItemsAndShortcutsAsListed) {
    Fixture f;
    ASSERT_EQ(f.commands.menus().size(), 3);
    // The titles read as written; each marks the letter Alt opens it with.
    EXPECT_EQ(f.commands.menus()[0]->title(), "&File");
    EXPECT_EQ(f.commands.menus()[1]->title(), "&View");
    EXPECT_EQ(f.commands.menus()[2]->title(), "&Selection");
    EXPECT_EQ(titles(f.commands.menus()[0]),
              QStringList({"Scan Full Mac", "Scan Home Folder", "Choose Folder…", "-", "Stop Scan", "-", "Settings…",
                           "Quit Tallymere"}));
    EXPECT_EQ(titles(f.commands.menus()[1]),
              QStringList({"Treemap", "Folders", "Sunburst", "Flame", "Bubbles", "Mind Map", "Top Sizes", "Age Map",
                           "Table", "-", "Back to Parent", "Back to Scan Root", "-", "Hide Labels",
                           "Show Logical Size"}));
    EXPECT_EQ(titles(f.commands.menus()[2]),
              QStringList({"Reveal in Finder", "Quick Look", "Add to Cleanup", "-", "Empty Cleanup Queue…"}));

    auto key = [&](const char* title) { return f.item(title)->shortcut(); };
    EXPECT_EQ(key("Scan Full Mac"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    EXPECT_EQ(key("Scan Home Folder"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    EXPECT_EQ(key("Choose Folder…"), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(key("Stop Scan"), QKeySequence(Qt::CTRL | Qt::Key_Period));
    EXPECT_EQ(key("Flame"), QKeySequence(Qt::CTRL | Qt::Key_4));
    EXPECT_EQ(key("Bubbles"), QKeySequence(Qt::CTRL | Qt::Key_5));
    EXPECT_EQ(key("Table"), QKeySequence(Qt::CTRL | Qt::Key_9));
    EXPECT_EQ(key("Back to Parent"), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
    EXPECT_EQ(key("Back to Scan Root"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BracketLeft));
    EXPECT_EQ(key("Hide Labels"), QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_EQ(key("Show Logical Size"), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_EQ(key("Reveal in Finder"), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(key("Quick Look"), QKeySequence(Qt::Key_Space));
    EXPECT_EQ(key("Add to Cleanup"), QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    EXPECT_TRUE(key("Empty Cleanup Queue…").isEmpty());

    // No item opens a second main window.
    for (QMenu* menu : f.commands.menus())
        for (QAction* action : menu->actions()) EXPECT_NE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
}

TEST(MenuView, DigitItemsChooseTheVisualisationPersistAndKeepTheTab) {
    Fixture f;
    f.state.setTab(WorkspaceTab::monitor);
    int place = 0;
    for (VizMode mode : VizModes::all) {
        ++place;
        QAction* action = f.item(QString::fromUtf8(VizModes::title(mode)));
        EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + place)));
        action->trigger();
        EXPECT_EQ(f.state.viz(), mode);
        EXPECT_EQ(f.preferences->value("vizMode").toString().toStdString(), VizModes::rawValue(mode));
    }
    EXPECT_EQ(f.state.tab(), WorkspaceTab::monitor);
}

TEST(MenuFile, ScanCommandsStartTheirTargetsAndStopScanFollowsTheScan) {
    Fixture f;
    f.dir.file("home/notes.txt", 10);
    QAction* stop = f.item("Stop Scan");
    EXPECT_FALSE(stop->isEnabled());

    f.item("Scan Home Folder")->trigger();
    ASSERT_TRUE(f.state.scanTarget().has_value());
    EXPECT_EQ(*f.state.scanTarget(), ScanTarget::home(f.dir / "home"));
    EXPECT_TRUE(test::waitUntil([&] { return !f.state.isScanning(); }));
    EXPECT_FALSE(stop->isEnabled());

    // The whole disk is not really read here: a stand-in scanner waits for the stop.
    std::atomic<bool> askedForTheDisk = false;
    f.state.setScanner([&](std::string_view path, const ScanOptions& options, ScanProgress& progress) {
        ScanOptions unmarked = options; // the places it marks are the machine's, looked at now
        unmarked.places = {};
        askedForTheDisk = path == "/" && unmarked == ScanOptions::fullMac() && !options.places.empty();
        for (int i = 0; i < 1000 && !progress.cancelled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return test::treeFromText("/\n  a 1\n");
    });
    f.item("Scan Full Mac")->trigger();
    EXPECT_EQ(f.state.scanTarget()->path, "/");
    EXPECT_EQ(f.state.scanTarget()->title, "Macintosh HD");
    EXPECT_TRUE(f.state.scanTarget()->isFullDisk);
    EXPECT_TRUE(f.state.isScanning());
    EXPECT_TRUE(stop->isEnabled());
    // The scan commands stay enabled; the store refuses a second scan while one runs.
    EXPECT_TRUE(f.item("Scan Home Folder")->isEnabled());
    f.item("Scan Home Folder")->trigger();
    EXPECT_EQ(f.state.scanTarget()->path, "/");

    stop->trigger();
    EXPECT_FALSE(f.state.isScanning());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(test::waitUntil([&] { return f.state.root() != nullptr; }));
    EXPECT_TRUE(askedForTheDisk);

    f.item("Settings…")->trigger();
    EXPECT_EQ(f.settingsShown, 1);
}

TEST(MenuFile, ChooseFolderAsksTheStore) {
    Fixture f;
    f.dir.file("picked/file", 5);
    int asked = 0;
    f.state.setFolderChooser([&]() -> std::optional<std::string> {
        ++asked;
        return f.dir / "picked";
    });
    f.item("Choose Folder…")->trigger();
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(f.state.scanTarget().has_value());
    EXPECT_EQ(f.state.scanTarget()->title, "picked");
    EXPECT_TRUE(test::waitUntil([&] { return !f.state.isScanning(); }));
}

TEST(MenuView, NavigationItemsFollowTheFocus) {
    Fixture f;
    QAction* up = f.item("Back to Parent");
    QAction* top = f.item("Back to Scan Root");
    EXPECT_FALSE(up->isEnabled());
    // With no scan, going to the root focuses nothing.
    top->trigger();
    EXPECT_EQ(f.state.focus(), nullptr);

    f.scanTree();
    EXPECT_EQ(f.state.focus(), f.state.displayRoot());
    EXPECT_FALSE(up->isEnabled()); // the displayed root has no parent

    f.state.drill(f.child(f.state.displayRoot(), "a"));
    EXPECT_EQ(f.state.focus()->name(), "a");
    EXPECT_TRUE(up->isEnabled());
    up->trigger();
    EXPECT_EQ(f.state.focus(), f.state.displayRoot());
    EXPECT_FALSE(up->isEnabled());

    f.state.drill(f.child(f.state.displayRoot(), "a"));
    top->trigger();
    EXPECT_EQ(f.state.focus(), f.state.displayRoot());
}

TEST(MenuKeys, KeyEquivalentsWorkWhileAnotherWindowIsInFront) {
    Fixture f;
    QWidget main;
    auto* layout = new QVBoxLayout(&main);
    layout->setMenuBar(&f.bar);
    main.show();
    // Settings or the preview in front: a window of its own.
    QWidget front;
    front.show();
    front.activateWindow();
    QApplication::setActiveWindow(&front);
    ASSERT_TRUE(f.state.showLabels());
    QTest::keyClick(&front, Qt::Key_L, Qt::ControlModifier);
    EXPECT_FALSE(f.state.showLabels());
    layout->setMenuBar(nullptr);
    f.bar.setParent(nullptr);
}

TEST(MenuView, SwitchTitlesNameTheStateTheyProduce) {
    Fixture f;
    QAction* labels = f.item("Hide Labels");
    QAction* size = f.item("Show Logical Size");
    ASSERT_TRUE(f.state.showLabels());
    ASSERT_TRUE(f.state.useAllocatedSize());

    labels->trigger();
    EXPECT_FALSE(f.state.showLabels());
    EXPECT_EQ(labels->text(), "Show Labels");
    EXPECT_FALSE(f.preferences->contains("showLabels"));
    labels->trigger();
    EXPECT_TRUE(f.state.showLabels());
    EXPECT_EQ(labels->text(), "Hide Labels");

    size->trigger();
    EXPECT_FALSE(f.state.useAllocatedSize());
    EXPECT_EQ(size->text(), "Show Size on Disk");
    EXPECT_EQ(f.preferences->value("useAllocated").toBool(), false);
    size->trigger();
    EXPECT_TRUE(f.state.useAllocatedSize());
    EXPECT_EQ(size->text(), "Show Logical Size");
}

TEST(MenuSelection, ItemsActOnTheSelectedNodeOnly) {
    Fixture f;
    QAction* reveal = f.item("Reveal in Finder");
    QAction* look = f.item("Quick Look");
    QAction* add = f.item("Add to Cleanup");
    QAction* empty = f.item("Empty Cleanup Queue…");
    for (QAction* action : {reveal, look, add, empty}) EXPECT_FALSE(action->isEnabled());
    // Triggered anyway (a stale shortcut), nothing happens.
    for (QAction* action : {reveal, look, add}) action->trigger();
    EXPECT_TRUE(f.desktop.revealed.empty());
    EXPECT_TRUE(f.previewed.empty());
    EXPECT_TRUE(f.state.queue().empty());

    f.scanTree();
    AppState::NodePtr b = f.child(f.state.displayRoot(), "b");
    f.state.setSelection(b);
    for (QAction* action : {reveal, look, add}) EXPECT_TRUE(action->isEnabled());
    EXPECT_FALSE(empty->isEnabled());

    reveal->trigger();
    look->trigger();
    ASSERT_EQ(f.desktop.revealed.size(), 1u);
    EXPECT_EQ(f.desktop.revealed[0], std::vector<std::string>{f.dir / "tree/b"});
    ASSERT_EQ(f.previewed.size(), 1u);
    EXPECT_EQ(f.previewed[0], std::vector<std::string>{f.dir / "tree/b"});

    add->trigger();
    ASSERT_EQ(f.state.queue().size(), 1u);
    EXPECT_EQ(f.state.queue()[0]->path(), f.dir / "tree/b");
    EXPECT_TRUE(empty->isEnabled());

    // No confirmation: one choice moves the queue to the Trash.
    empty->trigger();
    EXPECT_TRUE(f.state.queue().empty());
    EXPECT_FALSE(std::filesystem::exists(f.dir / "tree/b"));
    EXPECT_TRUE(std::filesystem::exists(f.dir / "data/Trash/files/b"));
    ASSERT_TRUE(f.state.banner().has_value());
    EXPECT_EQ(f.state.banner()->kind, AppState::Banner::Kind::success);
    EXPECT_FALSE(empty->isEnabled());
}

TEST(MenuLayout, AltAndATitlesLetterOpensThatMenuWhoseLetterIsUnderlinedOnlyWhileAltIsHeld) {
    Fixture f;
    f.bar.show();
    QApplication::setActiveWindow(&f.bar);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.bar));
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(&f.bar, std::array{Qt::Key_F, Qt::Key_V, Qt::Key_S}[std::size_t(i)], Qt::AltModifier);
        EXPECT_EQ(QApplication::activePopupWidget(), f.commands.menus()[i]);
        if (QWidget* open = QApplication::activePopupWidget()) QTest::keyClick(open, Qt::Key_Escape);
        QApplication::setActiveWindow(&f.bar);
    }
    QMenuBar plain;
    for (const char* title : {"File", "View", "Selection"}) plain.addMenu(new QMenu(QString::fromLatin1(title), &plain));
    for (QMenuBar* bar : {&f.bar, &plain}) bar->resize(300, bar->sizeHint().height());
    const QImage unmarked = plain.grab().toImage();
    EXPECT_EQ(f.bar.grab().toImage(), unmarked);
    QKeyEvent alt(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(&f.bar, &alt);
    EXPECT_NE(f.bar.grab().toImage(), unmarked) << "the marked letters underlined";
}
