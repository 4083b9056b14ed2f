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

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QT_SCALE_FACTOR", "1.75", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
