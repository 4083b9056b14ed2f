// The snapshots tab offscreen with a temporary data folder and real scans: capture, list, pairing,
// the comparison drawn, deletion, and the failures it reports.
#include "views/tools/snapshots/SnapshotsView.h"

#include "services/SnapshotCodec.h"
#include "services/SnapshotStore.h"
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/DateFormat.h"
#include "style/Typography.h"
#include "support/ColourChecks.h"
#include "views/components/controls/ActionButton.h"
#include "views/tools/snapshots/ComparisonPane.h"
#include "views/tools/snapshots/DeltaList.h"
#include "views/tools/snapshots/DeltaRow.h"
#include "views/tools/snapshots/SnapshotList.h"
#include "views/tools/ToolKeyboard.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tallymere {
namespace {

using test::anyPixelNear;
using test::distance;
using test::over;


namespace fs = std::filesystem;

class RecordingDesktop : public DesktopActions {
public:
    std::vector<std::vector<std::string>> revealed;
    std::vector<std::string> copied;
    std::optional<std::string> reveal(const std::vector<std::string>& paths) override {
        revealed.push_back(paths);
        return std::nullopt;
    }
    std::optional<std::string> open(const std::string&) override { return std::nullopt; }
    void copyText(const std::string& text) override { copied.push_back(text); }
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class SnapshotsTab : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }

    void SetUp() override {
        const char* previous = std::getenv("XDG_DATA_HOME");
        if (previous) m_previousDataHome = previous;
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        state.setDesktop(&desktop);
    }
    void TearDown() override {
        if (m_previousDataHome) ::setenv("XDG_DATA_HOME", m_previousDataHome->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }

    std::string snapshotFolder() const { return data / "Tallymere/Snapshots"; }

    QImage render(QWidget& widget, const char* name) {
        QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        widget.render(&image);
        image.save(QDir::temp().filePath(QStringLiteral("tallymere-snapshots-%1.png").arg(name)));
        return image.convertToFormat(QImage::Format_ARGB32);
    }

    void click(QWidget* widget, QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(widget, &release);
    }

    // Lets the listing the view asked for arrive (it runs on a worker, which a busy machine may
    // keep waiting for a long while: the event loop sleeps until it posts its result).
    static void listed(SnapshotsView& view) {
        ASSERT_TRUE(test::waitUntil([&] { return !view.isListing(); })) << "the listing never arrived";
        QCoreApplication::processEvents(); // and what was posted beside it (a banner)
    }

    test::TempFolder data{"tallymere-data"};
    test::TempFolder scanned;
    RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    Theme theme;

private:
    std::optional<std::string> m_previousDataHome;
};

TEST_F(SnapshotsTab, EmptyWithoutScanOrSnapshots) {
    SnapshotsView view(state);
    view.resize(1000, 640);
    view.show();
    listed(view);
    EXPECT_TRUE(view.snapshots().empty());
    EXPECT_FALSE(view.captureButton()->isEnabled());
    view.capture();
    EXPECT_FALSE(state.banner()) << "nothing to capture, nothing said";
    EXPECT_TRUE(SnapshotStore::load().empty());
    EXPECT_TRUE(view.comparisonPane()->showsPlaceholder());

    const QImage image = render(view, "empty");
    const QPoint pane = view.comparisonPane()->pos();
    const QRectF tile = view.comparisonPane()->tileRect().translated(pane);
    EXPECT_EQ(tile.width(), 62);
    EXPECT_LE(distance(image.pixelColor(tile.center().x(), tile.top() + 5), over(theme.ramp[3], 0.34, theme.background)), 3);
    const QRectF symbol = view.emptySymbolRect();
    EXPECT_TRUE(anyPixelNear(image, symbol.toRect(), over(theme.textTertiary, 0.6, theme.background), 12))
        << "the empty list's symbol";
    EXPECT_LE(distance(image.pixelColor(int(SnapshotsView::sidebarWidth), 300), theme.stroke), 2) << "the divider";
    // The disabled capture button at half opacity.
    const QRect button = view.captureButton()->geometry();
    EXPECT_TRUE(anyPixelNear(image, button.adjusted(6, 6, -6, -6), over(theme.accent, 0.5, theme.background), 6));
}

// The folder is read on a worker, each time the tab appears: a hostile file (a snapshot with a
// key the format does not know holding a flood of empty objects) costs the window nothing, and
// until the list arrives the tab claims no "No snapshots yet".
TEST_F(SnapshotsTab, TheFolderIsReadOffTheWindowThread) {
    fs::create_directories(snapshotFolder());
    Snapshot plain;
    plain.id = Uuid::random();
    plain.createdAt = 1.7e9;
    plain.rootPath = scanned.path();
    plain.title = "plain";
    plain.entries = {{scanned.path(), 0, 0, true}};
    SnapshotStore::save(plain, snapshotFolder());
    Snapshot hostile = plain;
    hostile.id = Uuid::random();
    hostile.createdAt += 60;
    std::string flood = "\"flood\":[";
    for (int i = 0; i < 300000; ++i) flood += "{},";
    flood += "{}],";
    std::string text = SnapshotCodec::encode(hostile);
    text.insert(1, flood);
    std::ofstream(snapshotFolder() + "/hostile.json", std::ios::binary) << text;

    SnapshotsView view(state);
    view.resize(1000, 640);
    view.show();
    EXPECT_TRUE(view.isListing());
    EXPECT_TRUE(view.snapshots().empty()) << "nothing is read on the window's thread";
    EXPECT_TRUE(view.emptySymbolRect().isEmpty()) << "no empty state before the list is known";
    listed(view);
    ASSERT_EQ(view.snapshots().size(), 2u);
    EXPECT_EQ(view.snapshots()[0].id, hostile.id) << "newest first; the unknown key is read past";
    EXPECT_TRUE(view.pairing().isComplete());
}

TEST_F(SnapshotsTab, CaptureCompareRevealAndDelete) {
    fs::create_directories(snapshotFolder());
    std::ofstream(snapshotFolder() + "/junk.json") << "{\"id\": 1";
    const std::string junk = readAll(snapshotFolder() + "/junk.json");

    scanned.file("keep.bin", 6000000);
    scanned.file("grow.bin", 12000000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    SnapshotsView view(state);
    view.resize(1100, 640);
    view.show();
    listed(view);
    EXPECT_TRUE(view.snapshots().empty()) << "the damaged file is skipped";
    ASSERT_TRUE(view.captureButton()->isEnabled());
    click(view.captureButton(), view.captureButton()->rect().center());
    listed(view);
    ASSERT_EQ(view.snapshots().size(), 1u);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::success);
    EXPECT_EQ(state.banner()->title, "Snapshot saved");
    const std::string name = fs::path(scanned.path()).filename();
    EXPECT_EQ(state.banner()->detail, QStringLiteral("3 entries captured for %1.").arg(QString::fromStdString(name)));
    EXPECT_FALSE(view.pairing().baseline()) << "one snapshot pairs with nothing";

    scanned.file("grow.bin", 30000000);
    scanned.file("new.bin", 11000000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    view.capture();
    listed(view);
    ASSERT_EQ(view.snapshots().size(), 2u);
    ASSERT_TRUE(view.pairing().isComplete()) << "the new capture pairs with the earlier one of its root";
    EXPECT_EQ(view.pairing().comparison()->id, view.snapshots()[0].id);
    EXPECT_EQ(view.pairing().baseline()->id, view.snapshots()[1].id);
    std::vector<std::string> changed;
    for (const auto& delta : view.pairing().deltas()) changed.push_back(fs::path(delta.path).filename());
    EXPECT_EQ(changed, (std::vector<std::string>{name, "grow.bin", "new.bin"}));
    EXPECT_EQ(readAll(snapshotFolder() + "/junk.json"), junk) << "a damaged file is never overwritten";

    ComparisonPane* pane = view.comparisonPane();
    EXPECT_EQ(pane->grewCount(), 3u);
    EXPECT_EQ(pane->shrankCount(), 0u);
    EXPECT_EQ(pane->netChangeText(),
              DeltaRow::signedChange(view.snapshots()[1].totalSize, view.snapshots()[0].totalSize));
    EXPECT_TRUE(pane->netChangeText().startsWith('+'));
    EXPECT_EQ(pane->netChangeColor(), theme.danger);
    EXPECT_EQ(pane->deltaList()->rowCount(), 3u);

    QImage image = render(view, "comparison");
    // The AFTER row (newest, first) is tinted with `accent`; the BEFORE row too.
    SnapshotList* list = view.snapshotList();
    const QRectF afterRow = list->rowRect(0).translated(list->mapTo(&view, QPoint()));
    EXPECT_LE(distance(image.pixelColor(afterRow.left() + 24, afterRow.bottom() - 3),
                       over(theme.accent, 0.1, theme.background)),
              3);
    // The grew chip in `danger`, the first change's badge in `danger`.
    const QRect grew = pane->grewChipRect().translated(pane->pos()).toRect();
    EXPECT_TRUE(anyPixelNear(image, grew, ColorRules::mix(theme.danger, theme.text, 0.35), 40));
    DeltaList* deltas = pane->deltaList();
    const QRectF firstRow = deltas->rowRect(0).translated(deltas->mapTo(&view, QPoint()));
    EXPECT_TRUE(anyPixelNear(image, QRectF(firstRow.left() + 11, firstRow.top(), 48, firstRow.height()).toRect(),
                             theme.danger, 40));
    EXPECT_LE(distance(image.pixelColor(firstRow.left() + 4, firstRow.center().y()), over(theme.surface, 0.6, theme.background)),
              3);

    // The change rows' menu reveals and copies the path.
    QMenu* menu = deltas->menuFor(1);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Reveal in Finder");
    EXPECT_EQ(menu->actions()[1]->text(), "Copy Path");
    menu->actions()[0]->trigger();
    menu->actions()[1]->trigger();
    EXPECT_EQ(desktop.revealed, (std::vector<std::vector<std::string>>{{scanned / "grow.bin"}}));
    EXPECT_EQ(desktop.copied, (std::vector<std::string>{scanned / "grow.bin"}));

    // Reset empties the pair and shows the placeholder; picks rebuild it. The newer picked as
    // BEFORE: the header reads BEFORE to AFTER as picked, so from the later time to the earlier and
    // a net change that shrinks, in `success`, while the rows and chips still tell the growth.
    click(pane, pane->resetRect().center());
    EXPECT_TRUE(pane->showsPlaceholder());
    click(list, list->rowRect(0).center());
    click(list, list->rowRect(1).center());
    ASSERT_TRUE(view.pairing().isComplete());
    const Snapshot& newer = view.snapshots()[0];
    const Snapshot& older = view.snapshots()[1];
    ASSERT_EQ(view.pairing().baseline()->id, newer.id);
    EXPECT_EQ(pane->dateLine(),
              DateFormat::precise(newer.createdAt) + QStringLiteral("  →  ") + DateFormat::precise(older.createdAt));
    EXPECT_EQ(pane->netChangeText(), DeltaRow::signedChange(newer.totalSize, older.totalSize));
    EXPECT_TRUE(pane->netChangeText().startsWith(QChar(0x2212)));
    EXPECT_EQ(pane->netChangeColor(), theme.success);
    EXPECT_EQ(pane->grewCount(), 3u);
    EXPECT_EQ(pane->shrankCount(), 0u);
    const QImage reversed = render(view, "comparison-picked-in-reverse");
    const QRectF totals = QRectF(pane->headerRect().left(), pane->headerRect().top(),
                                 pane->grewChipRect().left() - pane->headerRect().left(), pane->headerRect().height())
                              .translated(pane->pos());
    EXPECT_TRUE(anyPixelNear(reversed, totals.toRect(), theme.success, 40));
    EXPECT_FALSE(anyPixelNear(reversed, totals.toRect(), theme.danger, 40));
    click(pane, pane->resetRect().center());
    click(list, list->rowRect(1).center());
    click(list, list->rowRect(0).center());
    ASSERT_TRUE(view.pairing().isComplete());

    // The delete button appears on the hovered row and stays while picks relabel the rows; it
    // deletes that snapshot without picking it.
    list->setHovered(0);
    click(list, list->rowRect(0).center() - QPointF(40, 0));
    click(list, list->rowRect(0).center() - QPointF(40, 0));
    EXPECT_EQ(list->hovered(), std::optional<std::size_t>(0));
    ASSERT_TRUE(view.pairing().isComplete());
    const QRectF trash = list->deleteRect(0);
    const std::string newestFile = snapshotFolder() + "/" + view.snapshots()[0].id.text() + ".json";
    ASSERT_TRUE(fs::exists(newestFile));
    click(list, trash.center());
    listed(view);
    EXPECT_FALSE(fs::exists(newestFile));
    ASSERT_EQ(view.snapshots().size(), 1u);
    EXPECT_FALSE(view.pairing().comparison());
    EXPECT_EQ(view.pairing().role(view.snapshots()[0]), "BEFORE");
    EXPECT_TRUE(pane->showsPlaceholder());
    EXPECT_FALSE(list->hovered()) << "the hover goes with the rebuilt rows";
}

TEST_F(SnapshotsTab, ANarrowPaneKeepsBothCaptureTimesWhole) {
    scanned.file("a.bin", 6000000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    SnapshotsView view(state);
    view.capture();
    listed(view);
    scanned.file("b.bin", 11000000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    view.capture();
    listed(view);
    ASSERT_TRUE(view.pairing().isComplete());
    ComparisonPane* pane = view.comparisonPane();
    const QFontMetricsF date(Typography::font(11, QFont::Normal));
    view.resize(1300, 640);
    view.show();
    listed(view);
    const double wide = pane->headerRect().height();

    // Narrower than the line of both times, whatever their figures (the smallest window's tab is
    // 787 wide, where the line fits or not by a few pixels, as the clock's digits go): the later
    // time moves under the first.
    view.resize(740, 640);
    const QRectF header = pane->headerRect();
    EXPECT_NEAR(header.height(), wide + date.height(), 0.5);
    // It is drawn whole, left of the chips: ink in the date colour under its last figure.
    const QString after = DateFormat::precise(view.pairing().comparison()->createdAt);
    const double end = 16 + date.horizontalAdvance(after);
    ASSERT_LT(end, pane->grewChipRect().left());
    const double totals = std::max(QFontMetricsF(Typography::font(16, QFont::DemiBold)).height(),
                                   QFontMetricsF(Typography::font(15, QFont::Bold)).height());
    const double secondLine = header.center().y() - (2 * date.height() + 2 + totals) / 2 + date.height();
    const QImage image = render(view, "narrow-dates");
    const QRectF lastFigure(end - 6, secondLine, 6, date.height());
    EXPECT_TRUE(anyPixelNear(image, lastFigure.translated(pane->pos()).toRect(), theme.textTertiary, 30));
}

TEST_F(SnapshotsTab, DeletingARowRemovesTheFileItWasReadFrom) {
    scanned.file("a.bin", 1000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    SnapshotsView view(state);
    view.resize(1000, 600);
    view.show();
    view.capture();
    listed(view);
    ASSERT_EQ(view.snapshots().size(), 1u);
    // Renamed by the user, then copied: one snapshot in two files, one row.
    const fs::path renamed = fs::path(snapshotFolder()) / "before-cleanup.json";
    fs::rename(fs::path(snapshotFolder()) / (view.snapshots()[0].id.text() + ".json"), renamed);
    fs::copy_file(renamed, fs::path(snapshotFolder()) / "copy.json");
    view.load();
    listed(view);
    ASSERT_EQ(view.snapshots().size(), 1u);
    view.pick(0);
    EXPECT_EQ(view.pairing().role(view.snapshots()[0]), "BEFORE");

    view.remove(0);
    listed(view);
    EXPECT_EQ(fs::exists(renamed) + fs::exists(fs::path(snapshotFolder()) / "copy.json"), 1) << "one file went";
    ASSERT_EQ(view.snapshots().size(), 1u) << "the other file is still a snapshot";
    view.remove(0);
    listed(view);
    EXPECT_TRUE(view.snapshots().empty());
    EXPECT_TRUE(fs::is_empty(snapshotFolder()));
    EXPECT_FALSE(state.banner() && state.banner()->kind == AppState::Banner::Kind::error);
}

TEST_F(SnapshotsTab, FailedSaveAndDeleteAreReported) {
    scanned.file("a.bin", 1000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    fs::create_directories(data / "Tallymere");
    std::ofstream(snapshotFolder()) << "not a folder";
    SnapshotsView view(state);
    view.resize(1000, 600);
    view.show();
    listed(view);
    view.capture();
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
    EXPECT_EQ(state.banner()->title, "Could not save snapshot");
    EXPECT_TRUE(state.banner()->detail->contains("Not a directory")) << state.banner()->detail->toStdString();
    EXPECT_TRUE(view.snapshots().empty());

    fs::remove(snapshotFolder());
    view.capture();
    listed(view);
    ASSERT_EQ(view.snapshots().size(), 1u);
    // The file becomes a folder with something in it: it cannot be removed.
    const std::string file = snapshotFolder() + "/" + view.snapshots()[0].id.text() + ".json";
    fs::remove(file);
    fs::create_directories(file + "/inside");
    view.remove(0);
    listed(view);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
    EXPECT_EQ(state.banner()->title, "Could not delete snapshot");
    EXPECT_TRUE(state.banner()->detail->contains(QString::fromStdString(file)));
}

// By keyboard alone: Tab walks the capture button, the snapshots and the comparison's "Reset" and
// changes, column by column; the arrows walk each list, ringed on the row; Space picks, Delete asks to delete, Return
// resets, and the context-menu key opens a change's menu.
TEST_F(SnapshotsTab, TheKeyboardPicksComparesAndResets) {
    fs::create_directories(snapshotFolder());
    const std::string root = scanned.path();
    for (int i = 0; i < 2; ++i) {
        Snapshot snapshot;
        snapshot.id = Uuid::random();
        snapshot.createdAt = 1.7e9 + 3600 * i;
        snapshot.rootPath = root;
        snapshot.title = "tree";
        snapshot.entries = {{root, 40000000 + 30000000 * i, 2, true},
                            {root + "/grow.bin", 10000000 + 30000000 * i, 1, false},
                            {root + "/keep.bin", 30000000, 1, false}};
        SnapshotStore::save(snapshot, snapshotFolder());
    }
    scanned.file("keep.bin", 1000);
    ASSERT_TRUE(test::scanAndWait(state, scanned.path()));
    auto* view = new SnapshotsView(state);
    test::KeyboardHost host;
    host.hold(view, {1100, 640});
    listed(*view);
    ASSERT_EQ(view->snapshots().size(), 2u);
    ASSERT_TRUE(view->pairing().isComplete());
    // Return on "Reset" empties the pair; Space picks the ringed snapshots again, the older second.
    ComparisonPane* pane = view->comparisonPane();
    ASSERT_TRUE(host.tabUntil(pane->findChild<QWidget*>("reset")));
    host.press(Qt::Key_Return);
    EXPECT_TRUE(pane->showsPlaceholder());
    SnapshotList* list = view->snapshotList();
    host.setFocus(Qt::OtherFocusReason);
    const QRectF second = list->rowRect(1);
    const QPoint above(int(second.center().x()), int(second.top()) + 1);
    const QColor bare = host.pixel(list, above);
    ASSERT_TRUE(host.tabUntil(list));
    host.press(Qt::Key_Space);
    host.press(Qt::Key_Down);
    EXPECT_TRUE(test::near(host.pixel(list, above), host.ringOver(bare), 4));
    host.press(Qt::Key_Return);
    ASSERT_TRUE(view->pairing().isComplete());
    EXPECT_EQ(view->pairing().baseline()->id, view->snapshots()[0].id);

    // The changes: the context-menu key opens the ringed one's menu.
    DeltaList* deltas = pane->deltaList();
    ASSERT_GE(deltas->rowCount(), 1u);
    ASSERT_TRUE(host.tabUntil(deltas));
    host.press(Qt::Key_Menu);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    menu->actions()[1]->trigger();
    menu->close();
    EXPECT_EQ(desktop.copied.size(), 1u);

    // No key on a ringed snapshot deletes it; Right reaches its delete button, which Return presses.
    std::vector<std::size_t> asked;
    QObject::connect(list, &SnapshotList::deleteRequested, [&](std::size_t index) { asked.push_back(index); });
    ASSERT_TRUE(host.tabUntil(list));
    host.press(Qt::Key_End);
    for (int key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Space, Qt::Key_Return}) host.press(key);
    EXPECT_TRUE(asked.empty());
    host.press(Qt::Key_Right);
    host.press(Qt::Key_Return);
    EXPECT_EQ(asked, std::vector<std::size_t>{1});
}

} // namespace
} // namespace tallymere
