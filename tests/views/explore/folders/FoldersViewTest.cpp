// The Folders page rendered offscreen: its sections, grids and placeholder, the cards' pixels,
// and clicks, double clicks, hover and the queue button checked on the store.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/KeptFill.h"
#include "support/DisplayTree.h"
#include "support/RecordingDesktop.h"
#include "support/TreeText.h"
#include "views/tools/ToolKeyboard.h"
#include "views/components/FocusChain.h"
#include "views/components/ThemedWidget.h"
#include "views/components/controls/KeyStop.h"
#include "views/explore/folders/CardSkins.h"
#include "views/explore/folders/FileCardPaint.h"
#include "views/explore/folders/FolderCardPaint.h"
#include "views/explore/folders/FolderPage.h"
#include "views/explore/folders/FoldersView.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace tallymere;

namespace {

using test::childNamed;

struct Fixture {
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree;
    Theme theme = Theme::make(ThemeID::paper);
    FoldersView view{state};
    FolderPage* page = view.page();

    explicit Fixture(std::string_view text = R"(/srv/data/
  big/
    clip.mp4 5000
    song.mp3 100
  mid/
    a.pdf 2000
  small/
    b.txt 10
  empty/
  tool.app/ package
    inner 700
  movie.mp4 3000
  note.txt 5
)") : tree(test::treeFromText(text)) {
        state.setDesktop(&desktop);
        state.setUseAllocatedSize(false);
        ThemedWidget::applyTheme(&view, theme);
        view.resize(900, 700);
        view.show();
        test::display(state, tree);
    }

    // The view drawn over the theme's background, one image pixel a logical pixel.
    QImage render() {
        QImage image(view.size(), QImage::Format_ARGB32);
        image.fill(theme.background);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
    void send(QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton) {
        QMouseEvent event(type, at, page->mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(page, &event);
    }
    void click(QPointF at) {
        send(QEvent::MouseMove, at);
        send(QEvent::MouseButtonPress, at, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    void doubleClick(QPointF at) {
        click(at);
        send(QEvent::MouseButtonDblClick, at, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    QPointF inside(FolderPage::Grid grid, int index) const {
        const QRectF cell = grid == FolderPage::Grid::folders ? page->folderCells()[std::size_t(index)]
                                                              : page->fileCells()[std::size_t(index)];
        return {cell.left() + 40, cell.top() + 70};
    }
};

int distance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

bool between(QColor pixel, QColor a, QColor b) {
    const auto within = [](int v, int x, int y) { return v >= std::min(x, y) - 3 && v <= std::max(x, y) + 3; };
    return within(pixel.red(), a.red(), b.red()) && within(pixel.green(), a.green(), b.green()) &&
           within(pixel.blue(), a.blue(), b.blue());
}

} // namespace

TEST(FoldersViewPage, SectionsAndCardsLargestFirstInAnAdaptiveGrid) {
    Fixture f;
    const auto& lists = f.page->lists();
    ASSERT_EQ(lists.folders.size(), 4u);
    EXPECT_EQ(lists.folders[0]->name(), "big");
    EXPECT_EQ(lists.folders[3]->name(), "empty");
    ASSERT_EQ(lists.files.size(), 3u);
    EXPECT_EQ(lists.files[0]->name(), "movie.mp4");
    EXPECT_EQ(lists.files[1]->name(), "tool.app"); // a package is a file card
    EXPECT_FALSE(f.page->backPill());              // the focus is the top of its tree
    EXPECT_FALSE(f.page->placeholder());

    // As many 208-wide columns as fit, 14 apart, below the header, rows 24 apart.
    const double inner = f.page->width() - 36;
    const int columns = static_cast<int>((inner + 14) / 222);
    const auto& cells = f.page->folderCells();
    EXPECT_DOUBLE_EQ(cells[0].height(), FolderCardPaint::height);
    EXPECT_GE(cells[0].width(), 208);
    EXPECT_LE(cells[0].width(), 300);
    EXPECT_DOUBLE_EQ(cells[1].left() - cells[0].right(), 14);
    EXPECT_EQ(cells[std::size_t(columns)].left(), cells[0].left()); // the next row starts under the first
    EXPECT_DOUBLE_EQ(cells[std::size_t(columns)].top(), cells[0].bottom() + 14);
    EXPECT_DOUBLE_EQ(cells[0].top(), f.page->foldersHeader().bottom() + 24);
    EXPECT_DOUBLE_EQ(f.page->filesHeader().top(), cells.back().bottom() + 24);
    EXPECT_DOUBLE_EQ(f.page->foldersHeader().top(), 18);

    // Pixels: the body of the first card lies on its gradient; the corner beside the tab is page.
    const QImage image = f.render();
    const QRectF first = cells[0];
    const auto shade = FolderCardPaint::shades(f.theme, f.theme.nodeColor(*lists.folders[0], 1, 0, ColorMode::branch));
    const QColor body = image.pixelColor(QPointF(first.left() + 40, first.top() + 60).toPoint());
    EXPECT_TRUE(between(body, shade.light, shade.lighter)) << body.name().toStdString();
    EXPECT_EQ(image.pixelColor(QPointF(first.right() - 20, first.top() + 5).toPoint()), f.theme.background);
    // Neighbouring ranks start from different colours.
    const QRectF second = cells[1];
    EXPECT_GT(distance(body, image.pixelColor(QPointF(second.left() + 40, second.top() + 60).toPoint())), 12);
    // A file card's tile sits at its top, in the kind's colour family; its text block is surface.
    const QRectF file = f.page->fileCells()[0];
    EXPECT_EQ(image.pixelColor(QPointF(file.center().x(), file.bottom() - 4).toPoint()), f.theme.surface);
    EXPECT_NE(image.pixelColor(QPointF(file.left() + 6, file.top() + 6).toPoint()), f.theme.surface);
}

TEST(FoldersViewPage, QueuedCardsShowTheirMarksAndTheButtonStagesWithoutSelecting) {
    Fixture f;
    f.state.enqueue(f.state.retain(childNamed(*f.tree, "mid")));
    f.state.enqueue(f.state.retain(childNamed(*f.tree, "note.txt")));
    QImage image = f.render();
    const QRectF mid = f.page->folderCells()[1];
    // The danger outline on the left edge and the trash badge in the top leading corner.
    EXPECT_LT(distance(image.pixelColor(int(std::ceil(mid.left())), int(mid.center().y())), f.theme.danger), 60);
    EXPECT_LT(distance(image.pixelColor(int(mid.left() + 12), int(mid.top() + 20)), f.theme.danger), 40);
    const QRectF note = f.page->fileCells()[2];
    const QRectF button = FileCardPaint::queueButton(note, 0);
    EXPECT_LT(distance(image.pixelColor(int(button.left() + 3), int(button.center().y())), f.theme.danger), 40);
    // Unstaged and not hovered, the button of another card is invisible: the tile shows through.
    const QRectF movie = f.page->fileCells()[0];
    const QRectF hidden = FileCardPaint::queueButton(movie, 0);
    EXPECT_GT(distance(image.pixelColor(int(hidden.left() + 3), int(hidden.center().y())), f.theme.surface), 12);

    // The staged file's checkmark takes a click: it unstages, and selects nothing.
    f.click(button.center());
    EXPECT_FALSE(f.state.isQueued(childNamed(*f.tree, "note.txt")));
    EXPECT_EQ(f.state.selection(), nullptr);
    // The plus of a hovered card stages it.
    f.send(QEvent::MouseMove, f.inside(FolderPage::Grid::files, 0));
    f.click(FileCardPaint::queueButton(movie, 0).center());
    EXPECT_TRUE(f.state.isQueued(childNamed(*f.tree, "movie.mp4")));
    EXPECT_EQ(f.state.selection(), nullptr);
}

TEST(FoldersViewPage, ClicksHoverAndDoubleClicksActOnTheStore) {
    Fixture f;
    const FileNode* big = childNamed(*f.tree, "big");
    f.send(QEvent::MouseMove, f.inside(FolderPage::Grid::folders, 0));
    EXPECT_EQ(f.state.hovered().get(), big);
    EXPECT_EQ(f.page->hoveredCard(), (FolderPage::CardRef{FolderPage::Grid::folders, 0}));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f.page, &leave);
    EXPECT_EQ(f.page->hoveredCard().grid, FolderPage::Grid::none);
    EXPECT_EQ(f.state.hovered().get(), big); // leaving keeps the store's hover
    // So does moving off the cards onto the page between them.
    f.send(QEvent::MouseMove, f.inside(FolderPage::Grid::folders, 0));
    const QRectF first = f.page->folderCells()[0];
    f.send(QEvent::MouseMove, QPointF(first.left() - 4, first.center().y()));
    EXPECT_EQ(f.page->hoveredCard().grid, FolderPage::Grid::none);
    EXPECT_EQ(f.state.hovered().get(), big);

    // The empty corner beside the tab takes no click.
    const QRectF cell = f.page->folderCells()[0];
    f.click(QPointF(cell.right() - 20, cell.top() + 4));
    EXPECT_EQ(f.state.selection(), nullptr);
    f.click(f.inside(FolderPage::Grid::folders, 0));
    EXPECT_EQ(f.state.selection().get(), big);
    // The hovered card's ellipsis opens the node's menu and selects nothing else.
    f.click(f.page->buttonRect({FolderPage::Grid::folders, 0}).center());
    const auto menus = f.page->findChildren<QMenu*>();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_TRUE(menus[0]->actions().front()->text() == QStringLiteral("Open"));
    menus[0]->close();
    EXPECT_EQ(f.state.selection().get(), big);

    // An empty folder does not open; a file previews; a package with contents opens.
    f.doubleClick(f.inside(FolderPage::Grid::folders, 3));
    EXPECT_EQ(f.state.focus(), f.tree);
    f.doubleClick(f.inside(FolderPage::Grid::files, 0));
    ASSERT_EQ(f.desktop.previewed.size(), 1u);
    EXPECT_EQ(f.desktop.previewed[0], std::vector<std::string>{"/srv/data/movie.mp4"});
    f.doubleClick(f.inside(FolderPage::Grid::files, 1));
    EXPECT_EQ(f.state.focus()->name(), "tool.app");
    EXPECT_EQ(f.state.selection(), nullptr);

    // Back up, then into "big": the focus moves, the selection goes, and the pill leads back.
    ASSERT_TRUE(f.page->backPill());
    f.click(f.page->backPill()->center());
    EXPECT_EQ(f.state.focus(), f.tree);
    EXPECT_FALSE(f.page->backPill());
    f.click(f.inside(FolderPage::Grid::folders, 1));
    f.doubleClick(f.inside(FolderPage::Grid::folders, 0));
    EXPECT_EQ(f.state.focus().get(), big);
    EXPECT_EQ(f.state.selection(), nullptr);
    EXPECT_TRUE(f.page->foldersHeader().isEmpty()); // only files in there
    EXPECT_EQ(f.page->shownFiles(), 2);
}

TEST(FoldersViewPage, PlaceholderForNothingToShow) {
    Fixture f("/srv/data/\n  sub/\n  gone/ denied\n");
    f.state.setFocus(f.state.retain(childNamed(*f.tree, "gone")));
    ASSERT_TRUE(f.page->placeholder());
    EXPECT_TRUE(f.page->folderCells().empty());
    EXPECT_TRUE(f.page->backPill()); // the unreadable folder still leads back to its parent
    const QImage image = f.render();
    const QRectF square(f.page->placeholder()->center().x() - 31, f.page->placeholder()->top() + 60, 62, 62);
    const QColor tint = image.pixelColor(int(square.left() + 6), int(square.top() + 31));
    EXPECT_NE(tint, f.theme.background);
    EXPECT_EQ(image.pixelColor(int(square.left() - 6), int(square.top() + 31)), f.theme.background);

    test::display(f.state, nullptr); // no focus and no displayed tree: the placeholder alone
    EXPECT_TRUE(f.page->placeholder());
    EXPECT_FALSE(f.page->backPill());
}

TEST(FoldersViewPage, ManySubfoldersShowTheLargestAndSummariseOnlyWhatIsDrawn) {
    std::string text = "/srv/many/\n";
    for (int i = 0; i < 1000; ++i) text += "  d" + std::to_string(i) + "/\n    f.txt " + std::to_string(1000 + i) + "\n";
    Fixture f(text);
    EXPECT_EQ(f.page->lists().folders.size(), 1000u);
    EXPECT_EQ(f.page->shownFolders(), 300);
    EXPECT_EQ(f.page->lists().folders[299]->name(), "d700"); // ranks 0 to 299 in size order
    f.render();
    const int drawn = f.page->compositionsComputed();
    EXPECT_GT(drawn, 0);
    EXPECT_LT(drawn, 40); // only the cards on screen
    f.render();
    EXPECT_EQ(f.page->compositionsComputed(), drawn); // and each once
    f.state.setUseAllocatedSize(true); // a new input: summarised afresh
    f.render();
    EXPECT_EQ(f.page->compositionsComputed(), 2 * drawn);
}

TEST(FoldersViewPage, CardsDrawnFromKeptPicturesFollowEverythingTheyShow) {
    // Card backgrounds are drawn once and copied after: every input of the picture must still show.
    Fixture f;
    const QRectF mid = f.page->folderCells()[1];
    const QRectF movie = f.page->fileCells()[0];
    const QPoint edge(int(std::ceil(mid.left())), int(mid.center().y()));
    const QImage first = f.render();
    const KeptFill::Counts before = KeptFill::counts();
    EXPECT_EQ(f.render(), first); // drawn again from the kept pictures, pixel for pixel
    // The four composition dots (two in "big", one in "mid" and "small") and their rings among them.
    EXPECT_EQ(KeptFill::counts().kept, before.kept);
    EXPECT_GE(KeptFill::counts().copied - before.copied, 4 * 2);
    EXPECT_GT(distance(first.pixelColor(edge), f.theme.danger), 120);

    // Staged, then unstaged: the outline turns to danger and back.
    f.state.enqueue(f.state.retain(childNamed(*f.tree, "mid")));
    EXPECT_LT(distance(f.render().pixelColor(edge), f.theme.danger), 60);
    f.state.setQueue({});
    EXPECT_EQ(f.render(), first);

    // Another theme and another colour mode give other backgrounds.
    const Theme slate = Theme::make(ThemeID::slate);
    ThemedWidget::applyTheme(&f.view, slate);
    f.theme = slate;
    const QImage dark = f.render();
    const auto shade = FolderCardPaint::shades(slate, slate.nodeColor(*f.page->lists().folders[1], 1, 1, ColorMode::branch));
    EXPECT_TRUE(between(dark.pixelColor(QPointF(mid.left() + 40, mid.top() + 60).toPoint()), shade.light, shade.lighter));
    EXPECT_NE(dark.pixelColor(QPointF(movie.left() + 6, movie.top() + 6).toPoint()),
              first.pixelColor(QPointF(movie.left() + 6, movie.top() + 6).toPoint()));
    f.state.setColorMode(ColorMode::type);
    const auto typed = FolderCardPaint::shades(slate, slate.nodeColor(*f.page->lists().folders[1], 1, 1, ColorMode::type));
    EXPECT_TRUE(between(f.render().pixelColor(QPointF(mid.left() + 40, mid.top() + 60).toPoint()), typed.light, typed.lighter));
}

TEST(FoldersViewPage, BodiesDrawnAheadOnThePoolAreTheOnesTheCardsDraw) {
    // A page's first showing draws its cards' bodies side by side on the pool before the cards:
    // each must be the picture the card would have drawn itself, drawn once.
    Fixture f;
    const QRectF cell(0.25, 0.5, 231.5, FolderCardPaint::height); // a size no other test draws
    std::vector<CardSkins::Picture> bodies;
    for (int rank : {0, 1, 2, 3, 4, 2}) {
        const FolderCardPaint::Input input{.node = f.page->lists().folders[0], .rank = rank, .queued = rank == 4};
        bodies.push_back(*FolderCardPaint::body(cell, f.theme, input, 2));
    }
    const int before = CardSkins::paintedCount();
    CardSkins::prepare(bodies);
    EXPECT_EQ(CardSkins::paintedCount(), before + 5); // the repeated rank once
    for (const CardSkins::Picture& body : bodies) {
        QImage expected(QSize(463, 296), QImage::Format_ARGB32_Premultiplied);
        expected.setDevicePixelRatio(2);
        expected.fill(Qt::transparent);
        {
            QPainter painter(&expected);
            body.paint(painter);
        }
        EXPECT_EQ(CardSkins::skin(body), expected);
    }
    EXPECT_EQ(CardSkins::paintedCount(), before + 5); // found kept, not drawn again

    // Never more than the kept pictures hold: drawing more would push out the first ones drawn.
    std::vector<CardSkins::Picture> large;
    for (int i = 0; i < 8; ++i)
        large.push_back({"large " + std::to_string(i), QSizeF(1000, 1000), 1, [](QPainter& p) { p.fillRect(0, 0, 9, 9, Qt::red); }});
    CardSkins::prepare(large);
    EXPECT_EQ(CardSkins::paintedCount(), before + 5 + 6); // 4 MB each, 24 MB kept
    EXPECT_EQ(CardSkins::skin(large[0]).pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(CardSkins::paintedCount(), before + 5 + 6);
}

TEST(FoldersViewKeys, EachGridIsAStopWalkedByRowsAndColumnsWhoseKeysDoWhatClicksDo) {
    Fixture f;
    QApplication::setActiveWindow(&f.view);
    auto key = [](int k) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k)); };
    const auto Folders = FolderPage::Grid::folders, Files = FolderPage::Grid::files;
    // Three folder cards a row: big, mid, small over empty. Right reaches a card's menu button,
    // Right again the next card; Down and Up go by rows, into the short last row at its end.
    f.page->gridStop(Folders)->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Right);
    EXPECT_TRUE(QApplication::focusWidget()->geometry().contains(f.page->buttonRect({Folders, 0}).toAlignedRect()));
    key(Qt::Key_Right);
    EXPECT_EQ(f.page->keyCard(Folders), 1);
    key(Qt::Key_Down);
    EXPECT_EQ(f.page->keyCard(Folders), 3);
    for (int k : {Qt::Key_Up, Qt::Key_Left, Qt::Key_Space}) key(k);
    ASSERT_NE(f.state.selection(), nullptr);
    EXPECT_EQ(f.state.selection()->name(), "big");
    FocusChain::openContextMenu();
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    menu->close();

    // A file's queue button stages it; Return on the card previews it.
    f.page->gridStop(Files)->setFocus(Qt::TabFocusReason);
    for (int k : {Qt::Key_Right, Qt::Key_Space, Qt::Key_Left, Qt::Key_Return}) key(k);
    ASSERT_EQ(f.state.queue().size(), 1u);
    EXPECT_EQ(f.state.queue()[0]->name(), "movie.mp4");
    EXPECT_EQ(f.desktop.previewed, (std::vector<std::vector<std::string>>{{"/srv/data/movie.mp4"}}));

    // Return on a folder opens it; the back pill is then a stop whose Space goes back up.
    f.page->gridStop(Folders)->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Return);
    EXPECT_EQ(f.state.focus()->name(), "big");
    f.page->backStop()->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Space);
    EXPECT_EQ(f.state.focus(), f.state.displayRoot());
}

TEST(FoldersViewKeys, AFolderOfFilesOpenedFromAFolderWithoutHandsTheKeyboardToItsFiles) {
    AppState state{test::memoryStore()};
    test::display(state, test::treeFromText("/r/\n  a/\n    x 10\n"));
    auto* view = new FoldersView(state);
    test::KeyboardHost host;
    host.hold(view, {900, 600});
    ASSERT_TRUE(host.tabUntil(view->page()->gridStop(FolderPage::Grid::folders)));
    host.press(Qt::Key_Return);
    EXPECT_EQ(state.focus()->name(), "a");
    EXPECT_EQ(host.focused(), view->page()->gridStop(FolderPage::Grid::files));
}
