// The window at a pixel ratio that is not a whole number (1.75 by default, or the one
// QT_SCALE_FACTOR asks for), as a desktop scaled to 175% shows it: a logical point's edge falls
// inside a device pixel there, so a repaint of part of a widget must still leave the window's
// pixels exactly those of the same state painted whole.
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "support/WindowPixels.h"
#include "style/Typography.h"
#include "views/explore/bars/BarsList.h"
#include "views/explore/bars/BarsView.h"
#include "views/explore/folders/CardSkins.h"
#include "views/shell/RootView.h"
#include "views/shell/topbar/Breadcrumb.h"
#include "views/shell/topbar/TopBar.h"
#include "views/viz/IcicleView.h"
#include "views/viz/TreemapView.h"

#include <QApplication>
#include <QBackingStore>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace tallymere;

namespace {

using test::shownPixels;

// The same part after the whole window was painted afresh. Every widget is asked, and the window's
// own repaint left to do it: a repaint of the top-level widget alone paints nothing at once here,
// and an update of it does not reach children that paint opaquely. The store is filled with
// a colour no widget paints first, so a pixel left unpainted cannot pass for a painted one.
QImage paintedWhole(QWidget& window, QWidget& widget) {
    if (auto* store = dynamic_cast<QImage*>(window.backingStore()->paintDevice())) store->fill(Qt::magenta);
    window.update();
    for (QWidget* child : window.findChildren<QWidget*>()) child->update();
    QApplication::processEvents();
    return shownPixels(window, widget);
}

void moveTo(QWidget& widget, QPointF at) {
    QMouseEvent event(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
    QApplication::processEvents();
}

// The same part after only `widget` was painted afresh, on its own.
QImage paintedAlone(QWidget& window, QWidget& widget) {
    widget.repaint();
    return shownPixels(window, widget);
}

} // namespace

// A row's hover backdrop, a rounded shape whose edges fall inside device pixels: moving the pointer
// from row to row repaints the two rows only, and leaves neither a missing edge on the new row nor
// a line of the old backdrop round the row it left.
TEST(FractionalRepaint, RowHoverMovesLeaveTheListAsPaintedWhole) {
    const double ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    ASSERT_NE(ratio, std::floor(ratio));
    AppState state{test::memoryStore()};
    state.setUseAllocatedSize(false);
    const AppState::NodePtr tree = test::treeFromText(R"(/data/
  a.bin 900
  b.bin 700
  c.bin 500
  d.bin 300
  e.bin 100
)");
    test::display(state, tree);
    QWidget window;
    window.resize(907, 413);
    BarsView view(state, &window);
    // At an odd place, so that the list's rows lie across device pixels.
    view.setGeometry(17, 11, 877, 390);
    window.show();
    QApplication::processEvents();
    BarsList& list = *view.list();
    ASSERT_EQ(list.devicePixelRatioF(), ratio);
    ASSERT_EQ(shownPixels(window, view), paintedWhole(window, view));
    int rowsHovered = 0;
    for (int row : {0, 1, 3, 2, 4, -1, 1}) {
        const QPointF at = row < 0 ? QPointF(list.width() / 2.0, list.height() - 1.0) : list.trackRect(row).center();
        moveTo(list, at);
        EXPECT_EQ(list.hoveredRow(), row);
        rowsHovered += row >= 0;
        const QImage shown = shownPixels(window, view);
        EXPECT_EQ(shown, paintedWhole(window, view)) << "after moving to row " << row;
    }
    EXPECT_EQ(rowsHovered, 6);
}

// The treemap's hover mark is a patch of its kept picture with the tint laid on, copied over the
// picture. Between device pixels it must land on the very pixels it was copied from, whole pixels
// at that: a patch laid at a point inside a pixel leaves its first and last rows and columns to
// the painter's rounding, which takes them or not by its clip, so the canvas repainted on its own
// and the same canvas within a whole window's repaint showed a line of the tile next to the mark
// shifted by a pixel, or not.
TEST(FractionalRepaint, TreemapHoverMarksLandOnThePicturesOwnPixels) {
    AppState state{test::memoryStore()};
    state.setUseAllocatedSize(false);
    std::string text = "/data/\n";
    for (int folder = 0; folder < 4; ++folder) {
        text += "  dir" + std::to_string(folder) + "/\n";
        for (int file = 0; file < 6; ++file)
            text += "    f" + std::to_string(file) + ".jpg " + std::to_string(900 + 370 * ((folder * 7 + file * 5) % 11)) + "\n";
    }
    test::display(state, test::treeFromText(text));
    QWidget window;
    window.resize(907, 613);
    TreemapView view(state, &window);
    view.setGeometry(17, 11, 877, 590);
    window.show();
    QApplication::processEvents();
    ASSERT_GT(view.tiles().size(), 20u);
    int hovered = 0, differing = 0;
    for (const LayoutTile& tile : view.tiles()) {
        if (tile.rect.width < 8 || tile.rect.height < 8) continue;
        moveTo(view, QPointF(tile.rect.x + tile.rect.width / 2, tile.rect.y + tile.rect.height / 2) +
                         QPointF(TreemapView::inset, TreemapView::inset));
        if (state.hovered().get() != tile.node) continue;
        ++hovered;
        const QImage shown = shownPixels(window, view);
        const QImage whole = paintedWhole(window, view);
        EXPECT_EQ(shown, whole) << tile.node->name();
        differing += paintedAlone(window, view) != whole;
    }
    EXPECT_GT(hovered, 20);
    EXPECT_EQ(differing, 0) << "of " << hovered << " hovered tiles";
}

// A canvas whose picture is kept in a surface of the canvas (the icicle, the circle pack, the mind
// map) and ends inside a device pixel takes that last pixel into its picture too, else the pixel
// keeps what the window showed there before: after the canvas shrank, a line of its old picture.
TEST(FractionalRepaint, CanvasSurfacesRepaintTheirLastPartPixel) {
    AppState state{test::memoryStore()};
    state.setUseAllocatedSize(false);
    test::display(state, test::treeFromText(R"(/data/
  a.bin 900
  b.bin 700
  docs/
    c.txt 500
    d.txt 300
)"));
    // Every device pixel the surface touches, the last part one too.
    auto shownAt = [&](IcicleView& view, QWidget& window, QSize size) {
        view.resize(size);
        QApplication::processEvents();
        auto* store = dynamic_cast<QImage*>(window.backingStore()->paintDevice());
        const QWidget& surface = *view.canvas();
        const qreal ratio = store->devicePixelRatio();
        return store
            ->copy(QRectF(QPointF(surface.mapTo(&window, QPoint(0, 0))) * ratio, QSizeF(surface.size()) * ratio)
                       .toAlignedRect())
            .convertToFormat(QImage::Format_RGB32);
    };
    // At places and sizes that end at every place within a pixel at 125%, 150% and 175%.
    for (const QPoint place : {QPoint(17, 11), QPoint(18, 12), QPoint(19, 13), QPoint(20, 14)}) {
        QWidget window;
        window.resize(907, 613);
        IcicleView view(state, &window);
        view.move(place);
        window.show();
        shownAt(view, window, QSize(640, 430));
        for (const QSize size : {QSize(601, 402), QSize(600, 401), QSize(599, 400), QSize(598, 399)}) {
            const QImage shrunk = shownAt(view, window, size);
            QWidget fresh;
            fresh.resize(window.size());
            IcicleView same(state, &fresh);
            same.move(place);
            fresh.show();
            EXPECT_EQ(shrunk, shownAt(same, fresh, size)) << "at " << place.x() << "," << place.y() << " " << size.width()
                                                          << "x" << size.height();
        }
    }
}

// The window repainted whole after it was resized to a width that ends inside a device pixel: the
// top bar, which nothing paints beneath, fills that last part pixel itself, whole, rather than
// blending it with what the window held there before (a line of the wider window's bar).
TEST(FractionalRepaint, AWholeRepaintAfterAResizeKeepsNothingOfTheWindowBefore) {
    Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts");
    AppState state{test::memoryStore()};
    state.setUseAllocatedSize(false);
    test::display(state, test::treeFromText(R"(/data/
  a.bin 900
  docs/
    c.txt 500
)"));
    RootView window(state);
    window.resize(1440, 900);
    window.show();
    QApplication::processEvents();
    // The pixels a whole repaint leaves over a store first filled with `ground`.
    auto repaintedOver = [&](const QColor& ground) {
        dynamic_cast<QImage*>(window.backingStore()->paintDevice())->fill(ground);
        // Every widget of the window painted again by the window's own repaint.
        window.update();
        for (QWidget* widget : window.findChildren<QWidget*>()) widget->update();
        QApplication::processEvents();
        return shownPixels(window, window);
    };
    const QColor background = window.topBar()->theme().background;
    // Widths that end at every place within a pixel at 125%, 150% and 175%.
    for (const QSize size : {QSize(1061, 661), QSize(1203, 777), QSize(1062, 662), QSize(1063, 663), QSize(1060, 660)}) {
        window.resize(size);
        QApplication::processEvents();
        window.finishAnimations();
        // The disk's gauge sweeps in when shown: at its end, so that both repaints show the same.
        for (QVariantAnimation* animation : window.findChildren<QVariantAnimation*>())
            if (animation->state() == QAbstractAnimation::Running) animation->setCurrentTime(animation->totalDuration());
        QApplication::processEvents();
        const QImage overMagenta = repaintedOver(Qt::magenta), overCyan = repaintedOver(Qt::cyan);
        EXPECT_EQ(overMagenta, overCyan) << size.width() << "x" << size.height();
        // The bar's last column, past its controls, is its ground.
        const QImage bar = shownPixels(window, *window.topBar());
        int foreign = 0;
        for (int y = 0; y < bar.height(); ++y) foreign += QColor(bar.pixel(bar.width() - 1, y)) != background;
        EXPECT_EQ(foreign, 0) << size.width() << "x" << size.height();
    }
}

// A folder or file card's background is a picture kept at the pixel ratio; where the card ends
// inside a device pixel it takes that last pixel in too, else the card's outline loses its last
// column or row of edge pixels wherever it is drawn from the picture.
TEST(FractionalRepaint, CardPicturesCoverTheirLastPartPixel) {
    const qreal ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    // Sizes whose edges fall at several places within a pixel, whole ones too.
    for (const QSizeF size : {QSizeF(203, 121), QSizeF(202.4, 120.3), QSizeF(201.5, 119.9), QSizeF(200, 120)}) {
        const std::string key = "coverage test " + std::to_string(size.width()) + "x" + std::to_string(size.height());
        const QImage& picture = CardSkins::skin(key, size, ratio, [&](QPainter& painter) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.fillRect(QRectF(QPointF(0, 0), size), Qt::red);
        });
        QImage window(QSize(600, 400), QImage::Format_ARGB32_Premultiplied);
        window.setDevicePixelRatio(ratio);
        window.fill(Qt::white);
        {
            QPainter painter(&window);
            CardSkins::draw(painter, QPointF(8, 8), picture);
        }
        // The card from its first device pixel on: every pixel it touches holds some of its red.
        const QPoint first(int(std::round(8 * ratio)), int(std::round(8 * ratio)));
        const int across = int(std::ceil(size.width() * ratio - 1e-6)), down = int(std::ceil(size.height() * ratio - 1e-6));
        int bare = 0;
        for (int x = 0; x < across; ++x) bare += QColor(window.pixel(first.x() + x, first.y() + down / 2)).green() == 255;
        for (int y = 0; y < down; ++y) bare += QColor(window.pixel(first.x() + across / 2, first.y() + y)).green() == 255;
        EXPECT_EQ(bare, 0) << size.width() << "x" << size.height();
        // And none beyond it.
        EXPECT_EQ(window.pixel(first.x() + across, first.y() + down / 2), qRgb(255, 255, 255));
    }
}

// The breadcrumb draws its crumbs through a layer of its strip's size, faded at a cut edge, laid
// at the strip's place, which falls inside a device pixel. The layer takes in every pixel the strip
// touches: the focused folder's crumb, which reaches the strip's end, keeps the edge of its capsule
// in the last pixel the window gives the breadcrumb, rather than leaving the bar's ground there.
TEST(FractionalRepaint, TheBreadcrumbsLastCrumbReachesTheLastPixelOfItsStrip) {
    const qreal ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    AppState state{test::memoryStore()};
    std::string text = "/data/\n", indent = "  ";
    for (int depth = 0; depth < 6; ++depth) {
        text += indent + "a-folder-with-a-long-name-" + std::to_string(depth) + "/\n";
        indent += "  ";
    }
    text += indent + "file.bin 100\n";
    test::display(state, test::treeFromText(text));
    AppState::NodePtr deepest = state.displayRoot();
    while (!deepest->children().empty() && deepest->children().front()->isDirectory)
        deepest = state.retain(deepest->children().front());
    state.setFocus(deepest);
    // Strips starting and ending at every place within a pixel.
    int checked = 0;
    for (const int left : {3, 4, 5, 6}) {
        for (const int stripWidth : {300, 301, 302, 303}) {
            QWidget window;
            window.setAutoFillBackground(true);
            QPalette ground = window.palette();
            ground.setColor(QPalette::Window, Qt::black);
            window.setPalette(ground);
            window.resize(420, 40);
            Breadcrumb crumbs(state, &window);
            crumbs.setGeometry(left, 8, int(crumbs.stripRect().left()) + stripWidth, 22);
            window.show();
            QApplication::processEvents();
            const QRectF strip = crumbs.stripRect().translated(crumbs.pos());
            ASSERT_EQ(strip.width(), stripWidth);
            const std::vector<QRectF> rects = crumbs.crumbRects();
            ASSERT_NEAR(rects.back().right(), crumbs.stripRect().right(), 1) << "the focused folder ends the strip";
            const QImage shown = shownPixels(window, window);
            // The window gives the breadcrumb the pixels up to the one nearest its right edge.
            const int end = qRound(strip.right() * ratio);
            const int middle = int((crumbs.y() + rects.back().center().y()) * ratio);
            EXPECT_NE(shown.pixel(end - 1, middle), qRgb(0, 0, 0)) << "at " << left << ", strip " << stripWidth;
            EXPECT_EQ(shown.pixel(end, middle), qRgb(0, 0, 0)) << "at " << left << ", strip " << stripWidth;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 16);
}

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QT_SCALE_FACTOR", "1.75", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
