// The thin themed scroll bar: what it draws, and that it follows the theme.
#include "views/components/ComponentTestSupport.h"
#include "views/components/ListScroll.h"
#include "views/components/ThemedScrollBar.h"
#include "views/components/ThemedWidget.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

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

    // The wheel and the page step move the list as with any bar.
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->value(), page.area->viewport()->height());

    // A new theme reaches the bar with the rest of the page.
    const Theme sage = Theme::make(ThemeID::sage);
    ThemedWidget::applyTheme(&page.root, sage);
    bar->setValue(0);
    const QImage again = page.render();
    EXPECT_NE(ThemedScrollBar::handleColor(sage).rgb(), ThemedScrollBar::handleColor(paper).rgb());
    EXPECT_TRUE(near(pixel(again, x, 40), over(ThemedScrollBar::handleColor(sage), backdrop)));
}
