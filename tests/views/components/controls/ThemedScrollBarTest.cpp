// The thin themed scroll bar: what it draws, and that it follows the theme.
#include "views/components/ComponentTestSupport.h"
#include "views/components/controls/ListScroll.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/components/ThemedWidget.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

using namespace tallymere;
using tallymere::test::backdrop;
using tallymere::test::Gallery;
using tallymere::test::near;
using tallymere::test::over;
using tallymere::test::pixel;

namespace {

// A themed page holding a list three times taller than itself.
struct Page {
    Page() {
        auto* content = new QWidget;
        content->setFixedHeight(900);
        area = ListScroll::make(content, &root, ListScroll::Bar::beside);
        auto* layout = new QVBoxLayout(&root);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(area);
        ThemedWidget::applyTheme(&root, Theme::make(ThemeID::paper));
        root.resize(200, 300);
        root.show();
        QApplication::processEvents();
    }
    QImage render() { return test::render(root, root.size()); }
    ThemedWidget root;
    QScrollArea* area;
};

} // namespace

TEST_F(Gallery, ScrollBarIsAThinHandleInTheThemesInkWithNoArrowsOrTrough) {
    Page page;
    auto* bar = qobject_cast<ThemedScrollBar*>(page.area->verticalScrollBar());
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->width(), ThemedScrollBar::thickness);
    EXPECT_EQ(bar->mapTo(&page.root, QPoint(bar->width() - 1, 0)).x(), page.root.width() - 1);

    const QImage image = page.render();
    const int x = page.root.width() - ThemedScrollBar::thickness / 2 - 1;
    // At the top the handle (a third of the strip: the page shows a third of the list); below it
    // nothing is drawn at all: no trough, no arrow buttons.
    const Theme paper = Theme::make(ThemeID::paper);
    EXPECT_TRUE(near(pixel(image, x, 40), over(ThemedScrollBar::handleColor(paper), backdrop)));
    EXPECT_TRUE(near(pixel(image, x, 0), backdrop)) << "a margin above the handle, no arrow";
    for (int y : {150, 250, 298}) EXPECT_TRUE(near(pixel(image, x, y), backdrop)) << y;

    // Over a page that paints its own ground, that ground shows through the strip around the
    // handle, and the handle is blended over it: the bar claims no pixel it does not paint.
    const QColor ground(30, 90, 60);
    QPalette palette = page.root.palette();
    palette.setColor(QPalette::Window, ground);
    page.root.setPalette(palette);
    page.root.setAutoFillBackground(true);
    const QImage grounded = page.render();
    EXPECT_TRUE(near(pixel(grounded, x, 40), over(ThemedScrollBar::handleColor(paper), ground)));
    for (int y : {0, 150, 298}) EXPECT_TRUE(near(pixel(grounded, x, y), ground)) << y;
    for (int edge : {page.root.width() - ThemedScrollBar::thickness, page.root.width() - 1})
        EXPECT_TRUE(near(pixel(grounded, edge, 40), ground)) << "no handle beside the inset " << edge;
    page.root.setAutoFillBackground(false);

    // A click below the handle pages down, dragging the handle moves the list in proportion
    // (the handle's travel of 296 - 98 px spans the list's 600 px range), the wheel scrolls.
    const QPointF strip(x - bar->mapTo(&page.root, QPoint()).x(), 0);
    test::click(*bar, strip + QPointF(0, 250));
    EXPECT_EQ(bar->value(), page.area->viewport()->height());
    bar->setValue(0);
    const auto mouse = [&](QEvent::Type type, double y, Qt::MouseButtons buttons) {
        const QPointF at = strip + QPointF(0, y);
        QMouseEvent event(type, at, bar->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &event);
    };
    mouse(QEvent::MouseButtonPress, 40, Qt::LeftButton);
    mouse(QEvent::MouseMove, 40 + 99, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 40 + 99, Qt::NoButton);
    EXPECT_EQ(bar->value(), 300);
    QWheelEvent wheel(strip + QPointF(0, 150), bar->mapToGlobal(strip + QPointF(0, 150)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(bar, &wheel);
    EXPECT_GT(bar->value(), 300);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->maximum(), 600);
    EXPECT_EQ(bar->value(), bar->maximum());

    // A new theme reaches the bar with the rest of the page.
    const Theme sage = Theme::make(ThemeID::sage);
    ThemedWidget::applyTheme(&page.root, sage);
    bar->setValue(0);
    const QImage again = page.render();
    EXPECT_NE(ThemedScrollBar::handleColor(sage).rgb(), ThemedScrollBar::handleColor(paper).rgb());
    EXPECT_TRUE(near(pixel(again, x, 40), over(ThemedScrollBar::handleColor(sage), backdrop)));
}
