// The inspector rendered offscreen for a file, a folder, an unreadable folder and "/", checked on
// its pixels and on the store after clicks. Renders are written to <build>/inspector/ to look at.
#include "views/shell/inspector/InspectorView.h"

#include "core/ByteFormat.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "views/components/controls/ActionButton.h"
#include "views/shell/inspector/InspectorIdentity.h"
#include "views/shell/inspector/InspectorMiniBar.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tallymere;
using namespace tallymere::test;

namespace {

struct RecordingDesktop final : DesktopActions {
    std::vector<std::vector<std::string>> revealed, previewed;
    std::vector<std::string> copied;
    std::optional<std::string> reveal(const std::vector<std::string>& paths) override {
        revealed.push_back(paths);
        return std::nullopt;
    }
    std::optional<std::string> open(const std::string&) override { return std::nullopt; }
    void preview(const std::vector<std::string>& paths) override { previewed.push_back(paths); }
    void copyText(const std::string& text) override { copied.push_back(text); }
};

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// How many pixels of the area are within `tolerance` of the colour.
int count(const QImage& image, const QRect& area, const QColor& color, int tolerance = 10) {
    int n = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            n += distance(image.pixelColor(x, y), color) <= tolerance;
    return n;
}

QColor over(const QColor& top, double opacity, const QColor& below) { return ColorRules::mix(below, top, opacity); }

void click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

// A scanned folder on display, the inspector beside it at the window's height, in a theme.
class Inspector : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }

    void SetUp() override {
        dir.file("scan/report.bin", 5000);
        for (int i = 0; i < 10; ++i) dir.file("scan/docs/page" + std::to_string(i) + ".txt", 1000 * (i % 5 + 1));
        // Content without blocks on disk: a sparse file.
        std::filesystem::resize_file(dir.file("scan/cloud.mov", 0), 3'000'000);
        ASSERT_TRUE(scanAndWait(state, dir / "scan"));
        state.setDesktop(&desktop);
        ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
        view.resize(InspectorView::columnWidth, 900);
        view.show();
    }

    AppState::NodePtr node(const std::string& relative) {
        return AppState::nodeAt(dir / ("scan/" + relative), state.displayRoot());
    }

    // Renders the column and keeps the picture for people to look at.
    QImage render(const char* name) {
        // Nested layouts settle through posted requests, as they would before the next paint.
        for (int i = 0; i < 4; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QImage image = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/inspector");
        QDir().mkpath(folder);
        image.save(folder + '/' + QString::fromLatin1(name) + QStringLiteral(".png"));
        return image;
    }

    QRect area(const QWidget* part) const { return QRect(part->mapTo(&view, QPoint(0, 0)), part->size()); }

    std::vector<QString> labels() const {
        std::vector<QString> list;
        for (const auto& [label, value] : view.detailRows()) list.push_back(label);
        return list;
    }

    TempFolder dir;
    RecordingDesktop desktop;
    AppState state{memoryStore()};
    InspectorView view{state};
    const Theme theme = Theme::make(ThemeID::paper);
};

} // namespace

TEST_F(Inspector, FileShowsItsFactsTileAndProminentCleanupButton) {
    const auto file = node("report.bin");
    state.setSelection(file);
    const QImage image = render("file");
    EXPECT_EQ(view.identity()->nameText(), "report.bin");
    EXPECT_EQ(view.identity()->pathText(), QString::fromStdString(dir / "scan/report.bin"));
    EXPECT_EQ(view.identity()->sizeText(), QString::fromStdString(ByteFormat::unbroken(file->allocated)));
    EXPECT_TRUE(view.identity()->shareText().endsWith("% of scan"));
    // Blocks beyond the length are slack; a file has no counts, no children and no Focus.
    const std::vector<QString> rows = labels();
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(std::vector<QString>(rows.begin(), rows.begin() + 4),
              (std::vector<QString>{"Size on disk", "Logical size", "Slack", "Of parent"}));
    EXPECT_FALSE(view.isCompositionShown());
    EXPECT_EQ(view.button("Focus"), nullptr);

    // The tile is the node's colour at 34 % over the column; the cleanup button an accent fill.
    const QRect tile = area(view.identity()->tile());
    EXPECT_EQ(tile.size(), QSize(48, 48));
    const QColor tileFill = over(theme.nodeColor(*file, 1, false), 0.34, theme.background);
    EXPECT_GT(count(image, tile, tileFill, 3), 48 * 48 / 2);
    ActionButton* cleanup = view.button("Add to Cleanup");
    ASSERT_NE(cleanup, nullptr);
    const QPoint fillPoint = area(cleanup).topLeft() + QPoint(5, cleanup->height() / 2);
    EXPECT_LE(distance(image.pixelColor(fillPoint), theme.accent), 2);

    click(view.button("Reveal"));
    click(view.button("Quick Look"));
    click(view.button("Copy Path"));
    EXPECT_EQ(desktop.revealed, (std::vector<std::vector<std::string>>{{file->path()}}));
    EXPECT_EQ(desktop.previewed, (std::vector<std::vector<std::string>>{{file->path()}}));
    EXPECT_EQ(desktop.copied, (std::vector<std::string>{file->path()}));

    click(cleanup);
    EXPECT_TRUE(state.isQueued(file.get()));
    EXPECT_EQ(cleanup->title(), "Remove from Cleanup");
    EXPECT_FALSE(cleanup->isProminent());
    EXPECT_LE(distance(render("file-queued").pixelColor(fillPoint), theme.surface), 2);
    click(cleanup);
    EXPECT_TRUE(state.queue().empty());
}

TEST_F(Inspector, EvictedFileIsMarkedAndItsBytesCountAsCompressed) {
    state.setSelection(node("cloud.mov"));
    render("evicted");
    EXPECT_EQ(view.identity()->badgeTexts(), (std::vector<QString>{"Video", "In iCloud"}));
    const auto rows = view.detailRows();
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0].second, QString::fromUtf8("0\u00A0B \u2014 evicted"));
    EXPECT_EQ(rows[2], std::make_pair(QString("Compressed by"), QString("3.00\u00A0MB")));
}

// What the window shows as the inspected node changes, repainted only where the panes asked
// (their cards, rows and texts), is what drawing the whole column afresh gives.
TEST_F(Inspector, RepaintsAsTheNodeChangesMatchAFreshDrawing) {
    auto settle = [] {
        for (int i = 0; i < 4; ++i) QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    };
    auto shown = [&] {
        auto* store = dynamic_cast<QImage*>(view.backingStore()->paintDevice());
        return store ? store->copy(QRect(QPoint(0, 0), view.size() * store->devicePixelRatio())) : QImage();
    };
    settle();
    ASSERT_FALSE(shown().isNull());
    for (const char* relative : {"docs", "report.bin", "docs/page3.txt", "", "cloud.mov", "docs"}) {
        if (*relative) state.setHovered(node(relative));
        else state.setHovered(nullptr);
        settle();
        EXPECT_EQ(shown(), view.grab().toImage().convertToFormat(shown().format())) << "node " << relative;
    }
}

TEST_F(Inspector, FolderListsItsEightLargestChildrenWithBarsOfTheirShare) {
    state.setUseAllocatedSize(false);
    ASSERT_TRUE(waitUntil([&] { return !state.isFiltering(); }));
    const auto docs = node("docs");
    state.setSelection(docs);
    const QImage image = render("folder");
    EXPECT_EQ(view.identity()->badgeTexts(), (std::vector<QString>{"Folder"}));
    EXPECT_EQ(view.childCountText(), "10 items");
    const auto rows = view.childRows();
    ASSERT_EQ(rows.size(), 8u);
    // Largest first; equal sizes keep the order the folder listed them in.
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i - 1]->child()->size, rows[i]->child()->size);
    EXPECT_EQ(rows[0]->sizeText(), "5.00\u00A0KB");
    EXPECT_DOUBLE_EQ(rows[0]->fraction(), 5000.0 / 30000.0);
    // The first bar is a sixth of the row, drawn in the child's colour.
    const QRectF bar = rows[0]->barRect();
    EXPECT_NEAR(bar.width(), rows[0]->width() / 6.0, 0.5);
    const QPoint barMiddle = rows[0]->mapTo(&view, bar.center().toPoint());
    EXPECT_LE(distance(image.pixelColor(barMiddle), theme.nodeColor(*rows[0]->child(), 1, false)), 3);
    const std::vector<QString> facts = labels();
    ASSERT_GE(facts.size(), 7u);
    EXPECT_EQ(std::vector<QString>(facts.begin(), facts.begin() + 7),
              (std::vector<QString>{"Size on disk", "Logical size", "Slack", "Files", "Folders", "Of parent",
                                    "Modified"}));
    EXPECT_NE(view.button("Focus"), nullptr);

    // A file row selects the file; Focus zooms into the folder and hands the column to the focus.
    const auto firstFile = rows[0]->child();
    click(const_cast<InspectorMiniBar*>(rows[0]));
    EXPECT_EQ(state.selection(), firstFile);
    EXPECT_EQ(view.node(), firstFile);
    state.setSelection(docs);
    click(view.button("Focus"));
    EXPECT_EQ(state.focus(), docs);
    EXPECT_EQ(state.selection(), nullptr);
    EXPECT_EQ(view.node(), docs);

    // Without a selection the column follows the pointer, then falls back to the focus.
    state.setHovered(node("report.bin"));
    EXPECT_EQ(view.identity()->nameText(), "report.bin");
    state.setHovered(nullptr);
    EXPECT_EQ(view.node(), docs);
    // A node inside a staged folder still offers staging, which changes nothing.
    state.enqueue(docs);
    const auto page = rows[1]->child();
    state.setSelection(page);
    ActionButton* add = view.button("Add to Cleanup");
    ASSERT_NE(add, nullptr);
    click(add);
    EXPECT_EQ(state.queue(), std::vector<AppState::NodePtr>{docs});
}

TEST_F(Inspector, UnreadableFolderIsMarkedAndOffersNoZoom) {
    // Running as root, a folder cannot be made unreadable: the scanner's record of one stands in.
    const auto tree = treeFromText("top/\n  locked/ denied\n  other 10\n");
    const auto locked = AppState::nodeAt("top/locked", tree);
    ASSERT_TRUE(locked && locked->isDenied);
    test::display(state, tree);
    state.setSelection(locked);
    const QImage image = render("denied");
    EXPECT_EQ(view.identity()->badgeTexts(), (std::vector<QString>{"Folder", "No access"}));
    EXPECT_EQ(labels(), (std::vector<QString>{"Size on disk", "Logical size", "Files", "Folders", "Of parent"}));
    EXPECT_EQ(view.detailRows()[4].second, "0.0%"); // a parent of 10 bytes holding none of them
    EXPECT_FALSE(view.isCompositionShown());
    EXPECT_EQ(view.button("Focus"), nullptr);
    // The "No access" badge is tinted with the theme's warning colour.
    const QColor badgeFill = over(theme.warning, 0.16, theme.background);
    EXPECT_GT(count(image, area(view.identity()), badgeFill, 4), 60);
}

TEST_F(Inspector, RootOfTheDiskIsNamedAndHasNoParentShare) {
    const auto disk = treeFromText("/\n  usr/\n    lib 900\n  etc/\n    hosts 100\n");
    test::display(state, disk);
    state.setSelection(disk);
    const QImage image = render("disk-root");
    EXPECT_EQ(view.identity()->nameText(), "Macintosh HD");
    EXPECT_EQ(view.identity()->pathText(), "/");
    for (const QString& label : labels()) EXPECT_NE(label, "Of parent");
    EXPECT_EQ(view.childCountText(), "2 items");
    ASSERT_EQ(view.childRows().size(), 2u);
    EXPECT_EQ(view.childRows()[0]->nameText(), "usr");
    // The name is drawn in the text colour.
    EXPECT_GT(count(image, area(view.identity()), theme.text, 40), 30);

    // Nothing at all to describe: one line of help, nothing else.
    AppState empty(memoryStore());
    InspectorView blank(empty);
    EXPECT_FALSE(blank.placeholder()->isHidden());
    EXPECT_TRUE(blank.identity()->isHidden());
    EXPECT_EQ(blank.button("Reveal"), nullptr);
}
