// The window at a pixel ratio that is not a whole number (1.75 by default, or the one
// QT_SCALE_FACTOR asks for), as a desktop scaled to 175% shows it: a logical point's edge falls
// inside a device pixel there, so a repaint of part of a widget must still leave the window's
// pixels exactly those of the same state painted whole.
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "support/WindowPixels.h"
#include "views/explore/bars/BarsList.h"
#include "views/explore/bars/BarsView.h"
#include "views/viz/IcicleView.h"
#include "views/viz/TreemapView.h"

#include <QApplication>
#include <QBackingStore>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace tallymere;

namespace {

using test::shownPixels;

// The same part after the whole window was painted afresh.
QImage paintedWhole(QWidget& window, QWidget& widget) {
    window.repaint();
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

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QT_SCALE_FACTOR", "1.75", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
