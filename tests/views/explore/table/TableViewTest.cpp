// The table rendered offscreen: its order and header clicks, the switch, lines drawn only where
// visible, the queue toggle, clicks on lines, and the export with its failure banner.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/DateFormat.h"
#include "support/DisplayTree.h"
#include "support/EndsWithin.h"
#include "support/RecordingDesktop.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/TreeText.h"
#include "support/Unprivileged.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/table/CsvExport.h"
#include "views/explore/table/TableBody.h"
#include "views/explore/table/TableColumns.h"
#include "views/explore/table/TableControls.h"
#include "views/explore/table/TableHeader.h"
#include "views/explore/table/TableView.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace tallymere;

namespace {

const char* const smallTree = R"(/srv/data/
  docs/
    a.pdf 300
    b.txt 100
  File10.mp4 500
  file2.mp4 500
  empty/
  tool.app/ package
    inner 50
)";

struct Fixture {
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree;
    Theme theme = Theme::make(ThemeID::paper);
    TableView view{state};

    explicit Fixture(const std::string& text = smallTree) : tree(test::treeFromText(text)) {
        state.setDesktop(&desktop);
        state.setUseAllocatedSize(false);
        test::display(state, tree);
        ThemedWidget::applyTheme(&view, theme);
        view.resize(900, 400);
        view.show();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const FileNode* n : view.rows()) out.emplace_back(n->name());
        return out;
    }
    template <class Widget>
    void send(Widget* target, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton) {
        QMouseEvent event(type, at, target->mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    template <class Widget>
    void click(Widget* target, QPointF at) {
        send(target, QEvent::MouseMove, at);
        send(target, QEvent::MouseButtonPress, at, Qt::LeftButton);
        send(target, QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    void clickLine(int row, double x = 200) { click(view.body()->viewport(), QPointF(x, view.body()->rowRect(row).center().y())); }
    void doubleClickLine(int row) {
        const QPointF at(200, view.body()->rowRect(row).center().y());
        click(view.body()->viewport(), at);
        send(view.body()->viewport(), QEvent::MouseButtonDblClick, at, Qt::LeftButton);
        send(view.body()->viewport(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    QImage render() {
        QImage image(view.size(), QImage::Format_ARGB32);
        image.fill(theme.background);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
};

using Names = std::vector<std::string>;

int distance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

} // namespace

TEST(TableViewOrder, HeaderClicksAndTheSwitchRebuildTheLines) {
    Fixture f;
    EXPECT_EQ(f.names(), (Names{"File10.mp4", "file2.mp4", "docs", "tool.app", "empty"}));
    EXPECT_EQ(f.view.controls()->countText(), QStringLiteral("5 rows"));

    // Clicks land on the header cells: Name ascends, again descends, then Size is largest first.
    const auto clickTitle = [&](TableColumn column) { f.click(f.view.header(), f.view.header()->cellRect(column).center()); };
    clickTitle(TableColumn::name);
    EXPECT_TRUE(f.view.isAscending());
    EXPECT_EQ(f.names(), (Names{"docs", "empty", "file2.mp4", "File10.mp4", "tool.app"}));
    clickTitle(TableColumn::name);
    EXPECT_EQ(f.names(), (Names{"tool.app", "File10.mp4", "file2.mp4", "empty", "docs"}));
    clickTitle(TableColumn::size);
    EXPECT_FALSE(f.view.isAscending());
    EXPECT_EQ(f.view.sortColumn(), TableColumn::size);

    // The switch lists everything below, packages' contents too, never the folder itself.
    f.click(f.view.controls(), f.view.controls()->switchArea().center());
    EXPECT_TRUE(f.view.isRecursive());
    EXPECT_EQ(f.names(), (Names{"File10.mp4", "file2.mp4", "docs", "a.pdf", "b.txt", "tool.app", "inner", "empty"}));
    EXPECT_EQ(f.view.controls()->countText(), QStringLiteral("8 rows"));
    // A new focus rebuilds at once with the same choices.
    f.state.setFocus(f.state.retain(f.tree->children()[0]));
    EXPECT_EQ(f.names(), (Names{"a.pdf", "b.txt"}));
    test::display(f.state, nullptr);
    EXPECT_TRUE(f.view.rows().empty());
    EXPECT_EQ(f.view.controls()->countText(), QStringLiteral("0 rows"));
}

TEST(TableViewLines, OnlyVisibleLinesAreDrawnInColumnsUnderTheirTitles) {
    std::string text = "/srv/wide/\n";
    for (int i = 0; i < 6000; ++i) text += "  f" + std::to_string(i) + ".txt " + std::to_string(i) + "\n";
    Fixture f(text);
    ASSERT_EQ(f.view.rows().size(), 5000u); // cut after sorting: the 5000 largest
    EXPECT_EQ(f.view.rows().front()->name(), "f5999.txt");
    EXPECT_EQ(f.view.rows().back()->name(), "f1000.txt");
    EXPECT_EQ(f.view.controls()->countText(), QLocale::system().toString(5000) + QStringLiteral(" rows"));

    f.state.enqueue(f.state.retain(f.view.rows()[1]));
    const QImage image = f.render();
    TableBody* body = f.view.body();
    const int visible = body->viewport()->height() / TableBody::rowHeight() + 1;
    EXPECT_LE(body->paintedRows(), visible + 1);
    EXPECT_GE(body->paintedRows(), visible - 1);

    // The titles sit over the lines' cells even with the scroll bar taking width.
    const auto spans = TableColumns::spans(body->viewport()->width());
    EXPECT_DOUBLE_EQ(f.view.header()->cellRect(TableColumn::size).right(), spans[1].right());
    EXPECT_DOUBLE_EQ(f.view.header()->cellRect(TableColumn::modified).left(), spans[4].left);

    // The staged line's toggle is drawn in the danger colour; the others are faint.
    const QPoint origin = body->viewport()->mapTo(&f.view, QPoint(0, 0));
    const auto darkest = [&](int row) {
        const QRect slot = body->toggleRect(row).toAlignedRect().translated(origin);
        QColor best = f.theme.background;
        int bestDistance = 0;
        for (int y = slot.top(); y <= slot.bottom(); ++y)
            for (int x = slot.left(); x <= slot.right(); ++x)
                if (int d = distance(image.pixelColor(x, y), f.theme.background); d > bestDistance)
                    bestDistance = d, best = image.pixelColor(x, y);
        return best;
    };
    EXPECT_LT(distance(darkest(1), f.theme.danger), 40);
    EXPECT_LT(distance(darkest(0), f.theme.background), 200);
    EXPECT_GT(distance(darkest(0), f.theme.danger), 100);

    // Scrolled to the end, the last lines are drawn and no more than a screenful.
    body->verticalScrollBar()->setValue(body->verticalScrollBar()->maximum());
    f.render();
    EXPECT_LE(body->paintedRows(), visible + 1);
    EXPECT_EQ(body->rowAt(QPointF(10, body->viewport()->height() - 2)), 4999);
}

TEST(TableViewLines, ClicksHoverTheToggleAndDoubleClicks) {
    Fixture f;
    TableBody* body = f.view.body();
    f.send(body->viewport(), QEvent::MouseMove, QPointF(200, body->rowRect(2).center().y()));
    EXPECT_EQ(f.state.hovered()->name(), "docs");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(body->viewport(), &leave);
    EXPECT_EQ(body->hoveredRow(), -1);
    EXPECT_EQ(f.state.hovered()->name(), "docs");
    // Below the last line the pointer is over no line either, and the store keeps the node.
    f.send(body->viewport(), QEvent::MouseMove, QPointF(200, body->rowRect(1).center().y()));
    const double below = body->rowRect(int(f.view.rows().size()) - 1).bottom() + 4;
    ASSERT_LT(below, body->viewport()->height());
    f.send(body->viewport(), QEvent::MouseMove, QPointF(200, below));
    EXPECT_EQ(body->hoveredRow(), -1);
    EXPECT_EQ(f.state.hovered().get(), f.view.rows()[1]);

    f.clickLine(0);
    EXPECT_EQ(f.state.selection()->name(), "File10.mp4");
    // The toggle stages without selecting; a second click unstages.
    f.click(body->viewport(), body->toggleRect(3).center());
    EXPECT_TRUE(f.state.isQueued(f.view.rows()[3]));
    EXPECT_EQ(f.state.selection()->name(), "File10.mp4");
    f.click(body->viewport(), body->toggleRect(3).center());
    EXPECT_FALSE(f.state.isQueued(f.view.rows()[3]));

    f.doubleClickLine(0); // a file is revealed
    ASSERT_EQ(f.desktop.revealed.size(), 1u);
    EXPECT_EQ(f.desktop.revealed[0], std::vector<std::string>{"/srv/data/File10.mp4"});
    f.doubleClickLine(4); // an empty folder too
    EXPECT_EQ(f.desktop.revealed.size(), 2u);
    f.doubleClickLine(3); // a package with contents opens
    EXPECT_EQ(f.state.focus()->name(), "tool.app");
    EXPECT_EQ(f.state.selection(), nullptr);
    EXPECT_EQ(f.names(), (Names{"inner"}));
}

TEST(TableViewExport, WritesTheLinesAsShownAndReportsAFailedWrite) {
    Fixture f;
    test::TempFolder folder("tallymere-table");
    QString offered;
    std::optional<QString> answer;
    int asked = 0;
    f.view.setSavePathChooser([&](QWidget*, const QString& suggested) {
        ++asked;
        offered = suggested;
        return answer;
    });
    f.view.clickHeader(TableColumn::name);

    f.view.exportCsv(); // cancelled: nothing written, nothing said
    EXPECT_EQ(offered, QStringLiteral("_srv_data-Tallymere.csv"));
    EXPECT_FALSE(f.state.banner());

    answer = QString::fromStdString(folder / "out.csv");
    f.click(f.view.controls(), f.view.controls()->exportArea().center());
    EXPECT_EQ(asked, 2);
    const std::string expected =
        CsvExport::text(f.view.rows(), [](double s) { return DateFormat::absolute(s).toStdString(); });
    EXPECT_EQ(readAll(folder / "out.csv"), expected);
    EXPECT_NE(expected.find("\n\"/srv/data/docs\",\"docs\",400,400,2,\"Folder\","), std::string::npos);
    EXPECT_FALSE(f.state.banner());

    // A folder in the way: an error banner with the system's reason.
    folder.file("taken.csv/keep", 1);
    answer = QString::fromStdString(folder / "taken.csv");
    f.view.exportCsv();
    ASSERT_TRUE(f.state.banner());
    EXPECT_EQ(f.state.banner()->kind, AppState::Banner::Kind::error);
    ASSERT_TRUE(f.state.banner()->detail);
    EXPECT_TRUE(f.state.banner()->detail->startsWith(QStringLiteral("taken.csv: ")));
    EXPECT_GT(f.state.banner()->detail->size(), 12);

    // Nothing shown: no dialog at all.
    test::display(f.state, nullptr);
    f.view.exportCsv();
    EXPECT_EQ(asked, 3);
}

// The save dialog opens in the home folder, not in the working folder ("/" for a window started
// from the desktop's menus), and then where the last export went.
TEST(TableViewExport, TheDialogOpensInTheHomeFolderThenWhereTheLastExportWent) {
    Fixture f;
    test::TempFolder home("tallymere-home");
    const std::string saved = home.folder("exports/csv");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path()));
    std::vector<QString> openedIn;
    const auto answer = [&](const std::optional<std::string>& file) {
        QTimer::singleShot(0, [&, file] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            openedIn.push_back(dialog->directory().absolutePath());
            if (!file) return dialog->reject();
            dialog->selectFile(QString::fromStdString(*file));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        f.view.exportCsv();
    };
    answer(saved + "/lines.csv");
    answer(std::nullopt);
    qputenv("HOME", oldHome);
    EXPECT_EQ(openedIn, (std::vector<QString>{QString::fromStdString(home.path()), QString::fromStdString(saved)}));
    EXPECT_FALSE(readAll(saved + "/lines.csv").empty());
}

// A target on a mount that stopped answering, or a local link leading onto one: the export says so
// in its error banner, and the process can end while the mount stays stuck: no write waits on it.
TEST(TableViewExport, ATargetOnAMountThatStoppedAnsweringRaisesABannerAndHoldsNothing) {
    test::TempFolder folder("tallymere-table");
    const std::string mount = folder.folder("net");
    std::filesystem::create_symlink(mount + "/file.txt", folder / "link.csv");
    // The table is shown before the mount is there.
    Fixture f;
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        fuse.stall();
        const bool ended = test::endsWithin(60, [&] {
            for (const char* target : {"net/out.csv", "link.csv"}) {
                f.state.setBanner(std::nullopt);
                f.view.setSavePathChooser([&](QWidget*, const QString&) { return QString::fromStdString(folder / target); });
                f.view.exportCsv();
                ASSERT_TRUE(f.state.banner() && f.state.banner()->detail) << target;
                EXPECT_EQ(f.state.banner()->title, QStringLiteral("Could not save the table"));
                EXPECT_EQ(*f.state.banner()->detail, QFileInfo(target).fileName() + ": Its file system does not answer");
            }
        });
        EXPECT_TRUE(ended) << "the export waits on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// Entering a folder by key rebuilds the lines under the pointer: the line hovered before is no
// longer listed, so the store lets it go (the inspector then describes the folder entered), and a
// pointer resting over the new lines hovers the one under it, not the old line's place.
TEST(TableViewLines, EnteringAFolderByKeyLetsGoOfTheLineThatWasHovered) {
    Fixture f;
    TableBody* body = f.view.body();
    auto press = [&](Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(body, &event);
    };
    f.send(body->viewport(), QEvent::MouseMove, QPointF(200, body->rowRect(0).center().y()));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(body->viewport(), &leave);
    ASSERT_EQ(f.state.hovered()->name(), "File10.mp4");
    for (int i = 0; i < 3; ++i) press(Qt::Key_Down);
    ASSERT_EQ(f.state.selection()->name(), "docs");
    press(Qt::Key_Return);
    ASSERT_EQ(f.state.focus()->name(), "docs");
    ASSERT_EQ(f.names(), (Names{"a.pdf", "b.txt"}));
    EXPECT_EQ(f.state.hovered(), nullptr);
    EXPECT_EQ(body->hoveredRow(), -1);

    // Back at the top with the pointer resting on the second line: entering the package by key
    // hovers what lies under the pointer now.
    f.state.setFocus(f.tree);
    body->viewport()->setAttribute(Qt::WA_UnderMouse, true);
    QCursor::setPos(body->viewport()->mapToGlobal(QPoint(200, int(body->rowRect(1).center().y()))));
    f.send(body->viewport(), QEvent::MouseMove, QPointF(200, body->rowRect(1).center().y()));
    ASSERT_EQ(f.state.hovered()->name(), "file2.mp4");
    press(Qt::Key_End);
    press(Qt::Key_Up);
    ASSERT_EQ(f.state.selection()->name(), "tool.app");
    press(Qt::Key_Return);
    ASSERT_EQ(f.names(), (Names{"inner"}));
    EXPECT_EQ(body->hoveredRow(), -1); // the one line lies above the pointer's
    EXPECT_EQ(f.state.hovered(), nullptr);
    f.state.setFocus(f.tree);
    EXPECT_EQ(body->hoveredRow(), 1);
    EXPECT_EQ(f.state.hovered()->name(), "file2.mp4");
}
