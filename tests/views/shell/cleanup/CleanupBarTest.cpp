// The cleanup bar offscreen over a real scanned folder and a Trash in a private data folder:
// its summary, the staged list, the confirmation and the outcome when some items cannot move.
#include "views/shell/cleanup/CleanupBar.h"

#include "core/DiskInfo.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "views/components/controls/ClickableWidget.h"
#include "views/shell/cleanup/CleanupQueueList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTextLayout>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace tallymere;
using namespace tallymere::test;

namespace {

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

void click(QWidget* widget, QPointF at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}
void click(QWidget* widget) { click(widget, QPointF(widget->width() / 2.0, widget->height() / 2.0)); }

void answer(QMessageBox* box, const QString& title) {
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons())
        if (button->text() == title) return button->click();
    FAIL() << "no button " << title.toStdString();
}

class Cleanup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }

    void SetUp() override {
        if (const char* previous = std::getenv("XDG_DATA_HOME")) savedDataHome = previous;
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        dir.folder("data");
        dir.file("scan/one.bin", 5000);
        dir.file("scan/two.bin", 3000);
        dir.file("scan/sub/three.bin", 2000);
        scanRoot = dir / "scan";
        ASSERT_TRUE(scanAndWait(state, scanRoot));
        state.setUseAllocatedSize(false);
        ASSERT_TRUE(waitUntil([&] { return !state.isFiltering(); }));
        ThemedWidget::applyTheme(&bar, theme);
        bar.setAnimated(false);
        bar.show();
    }
    void TearDown() override {
        if (savedDataHome) ::setenv("XDG_DATA_HOME", savedDataHome->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }

    AppState::NodePtr node(const std::string& relative) {
        return AppState::nodeAt(scanRoot + "/" + relative, state.displayRoot());
    }
    std::vector<std::string> queued() const {
        std::vector<std::string> names;
        for (const auto& item : state.queue()) names.push_back(std::string(item->name()));
        return names;
    }
    QImage render(const char* name) {
        for (int i = 0; i < 4; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        bar.resize(1000, bar.sizeHint().height());
        bar.layout()->activate();
        QCoreApplication::processEvents();
        QImage image = bar.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/cleanup");
        QDir().mkpath(folder);
        image.save(folder + '/' + QString::fromLatin1(name) + QStringLiteral(".png"));
        return image;
    }
    QPoint at(const QWidget* part, QPoint inside) const { return part->mapTo(&bar, inside); }

    TempFolder dir;
    std::optional<std::string> savedDataHome;
    std::string scanRoot;
    AppState state{memoryStore()};
    const Theme theme = Theme::make(ThemeID::paper);
    CleanupBar bar{state};
};

} // namespace

TEST_F(Cleanup, SummaryListAndClearWorkOnTheQueueAlone) {
    state.enqueue(node("one.bin"));
    state.enqueue(node("two.bin"));
    state.enqueue(node("sub"));
    QImage image = render("collapsed");
    EXPECT_EQ(CleanupBar::countText(state.queue().size()), "3 items staged");
    // A danger capsule with a white label; the badge a pale danger disc on the bar's surface.
    QWidget* trash = bar.trashButton();
    EXPECT_LE(distance(image.pixelColor(at(trash, QPoint(trash->height() / 2, 3))), theme.danger), 2);
    int white = 0;
    for (int x = 0; x < trash->width(); ++x)
        white += image.pixelColor(at(trash, QPoint(x, trash->height() / 2))) == Qt::white;
    EXPECT_GT(white, 3);
    const QColor disc = ColorRules::mix(theme.surface, theme.danger, 0.18);
    EXPECT_LE(distance(image.pixelColor(at(bar.disclosure(), QPoint(4, bar.disclosure()->height() / 2))), disc), 3);
    EXPECT_LE(distance(image.pixelColor(2, 2), theme.surface), 1);
    EXPECT_EQ(bar.list()->isVisible(), false);

    const int collapsedHeight = bar.sizeHint().height();
    int announced = 0;
    QObject::connect(&bar, &CleanupBar::heightChanged, [&] { ++announced; });
    click(bar.disclosure());
    EXPECT_TRUE(bar.isExpanded());
    EXPECT_GT(announced, 0); // the window makes room for the list
    EXPECT_EQ(bar.sizeHint().height(), collapsedHeight + bar.list()->naturalHeight());
    image = render("expanded");

    ASSERT_EQ(bar.list()->rowCount(), 3);
    EXPECT_EQ(bar.list()->height(), bar.list()->naturalHeight());
    // Rows sit on the column background, the top hairline is the stroke.
    const QRectF firstRow = bar.list()->rowRect(0);
    EXPECT_LE(distance(image.pixelColor(at(bar.list()->canvas(), QPoint(3, int(firstRow.center().y())))),
                       theme.background), 1);
    EXPECT_LE(distance(image.pixelColor(at(bar.list(), QPoint(50, 0))), theme.stroke), 1);

    // Unstaging the first row moves the others up; the item can be staged again.
    click(bar.list()->canvas(), bar.list()->removeRect(0).center());
    EXPECT_EQ(queued(), (std::vector<std::string>{"two.bin", "sub"}));
    EXPECT_EQ(bar.list()->height(), bar.list()->naturalHeight());
    state.enqueue(node("one.bin"));
    EXPECT_EQ(queued(), (std::vector<std::string>{"two.bin", "sub", "one.bin"}));

    click(bar.disclosure());
    EXPECT_FALSE(bar.isExpanded());
    EXPECT_FALSE(bar.list()->isVisible());

    // "Clear" unstages everything without asking and moves nothing; the bar comes back collapsed.
    click(bar.disclosure());
    click(bar.clearButton());
    EXPECT_FALSE(bar.isExpanded());
    EXPECT_TRUE(state.queue().empty());
    EXPECT_FALSE(bar.isConfirming());
    EXPECT_TRUE(std::filesystem::exists(scanRoot + "/one.bin"));
    EXPECT_EQ(state.lastReclaim(), 0);
}

TEST_F(Cleanup, ListOpensAndClosesOnTheSpring) {
    state.enqueue(node("one.bin"));
    state.enqueue(node("two.bin"));
    bar.setAnimated(true);
    auto* spring = bar.findChild<QVariantAnimation*>(QStringLiteral("listSpring"));
    ASSERT_NE(spring, nullptr);
    click(bar.disclosure());
    const int natural = bar.list()->naturalHeight();
    spring->setCurrentTime(40);
    EXPECT_GT(bar.list()->height(), 0);
    EXPECT_LT(bar.list()->height(), natural);
    spring->setCurrentTime(spring->duration());
    EXPECT_EQ(bar.list()->height(), natural);
    click(bar.disclosure());
    spring->setCurrentTime(spring->duration());
    EXPECT_EQ(bar.list()->height(), 0);
    EXPECT_FALSE(bar.list()->isVisible());
}

TEST_F(Cleanup, ConfirmedMoveReportsThePartOfTheQueueThatFailed) {
    state.enqueue(node("one.bin"));
    state.enqueue(node("two.bin"));
    state.enqueue(node("sub"));
    std::filesystem::remove(scanRoot + "/two.bin"); // gone behind the program's back: its move fails

    click(bar.trashButton());
    ASSERT_TRUE(bar.isConfirming());
    EXPECT_EQ(bar.confirmation()->text(), "Move 3 items to the Trash?");
    EXPECT_EQ(bar.confirmation()->informativeText(),
              "Frees 10.0\u00A0KB once the Trash is emptied. Nothing is deleted permanently.");
    answer(bar.confirmation(), "Cancel");
    EXPECT_FALSE(bar.isConfirming());
    EXPECT_EQ(state.queue().size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(scanRoot + "/one.bin"));

    // While the items move the button is not offered again.
    bool offeredWhileMoving = false;
    QObject::connect(&state, &AppState::queueChanged, &bar, [&] {
        offeredWhileMoving = offeredWhileMoving || (state.isEmptying() && bar.trashButton()->isEnabled());
    });
    click(bar.trashButton());
    answer(bar.confirmation(), "Move to Trash");
    EXPECT_FALSE(bar.isConfirming());
    ASSERT_TRUE(waitUntil([&] { return !state.isEmptying(); }));
    EXPECT_FALSE(offeredWhileMoving);
    EXPECT_TRUE(bar.trashButton()->isEnabled());
    // What moved is freed and unstaged; what failed stays staged and the banner says so.
    EXPECT_EQ(queued(), (std::vector<std::string>{"two.bin"}));
    EXPECT_EQ(state.lastReclaim(), 5000 + 2000);
    EXPECT_TRUE(std::filesystem::exists(dir / "data/Trash/files/one.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir / "data/Trash/files/sub"));
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(state.banner()->title, "1 item could not be moved");
    // The item that stayed says why, until it leaves the queue.
    const auto failure = state.trashFailure(state.queue().front().get());
    ASSERT_TRUE(failure.has_value());
    EXPECT_FALSE(failure->empty());
    EXPECT_EQ(state.trashFailure(node("one.bin").get()), std::nullopt);
    click(bar.disclosure());
    const QImage image = render("after-partial-move");
    const QRect row = bar.list()->rowRect(0).toRect().translated(bar.list()->canvas()->mapTo(&bar, QPoint()));
    int warning = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x < row.right(); ++x) warning += distance(image.pixelColor(x, y), theme.warning) <= 30;
    EXPECT_GT(warning, 20);
    EXPECT_EQ(CleanupBar::countText(state.queue().size()), "1 item staged");
    click(bar.trashButton());
    EXPECT_EQ(bar.confirmation()->text(), "Move 1 item to the Trash?");
    answer(bar.confirmation(), "Cancel");
    const auto staying = state.queue().front();
    state.toggleQueue(staying);
    state.toggleQueue(staying);
    EXPECT_EQ(state.trashFailure(staying.get()), std::nullopt);
}

TEST_F(Cleanup, AnItemWithALongNameThatCouldNotMoveStillSaysWhy) {
    const std::string name = "Quarterly-report-" + std::string(200, 'x') + ".pdf";
    dir.file("scan/" + name, 4000);
    ASSERT_TRUE(scanAndWait(state, scanRoot));
    ASSERT_TRUE(waitUntil([&] { return !state.isFiltering(); }));
    state.enqueue(node(name));
    std::filesystem::remove(scanRoot + "/" + name);
    click(bar.trashButton());
    answer(bar.confirmation(), "Move to Trash");
    ASSERT_TRUE(waitUntil([&] { return !state.isEmptying(); }));
    ASSERT_TRUE(state.trashFailure(state.queue().front().get()).has_value());
    click(bar.disclosure());
    // The name gives way to the reason, which shows in the warning colour on the row.
    const QImage image = render("long-name-failed");
    const QRect row = bar.list()->rowRect(0).toRect().translated(bar.list()->canvas()->mapTo(&bar, QPoint()));
    int warning = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x < row.right(); ++x) warning += distance(image.pixelColor(x, y), theme.warning) <= 30;
    EXPECT_GT(warning, 20);
}

// The question's message wraps where the dialog is narrow, but never between a size's figure and
// its unit: the lines it is laid out in, at every width down to a few letters, keep them together.
TEST(CleanupFigures, TheQuestionNeverPartsAFigureFromItsUnit) {
    const QString message = CleanupBar::confirmationMessage(16'000'000);
    const QFont font = QApplication::font("QMessageBox");
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WordWrap);
    for (int width = 30; width < QFontMetrics(font).horizontalAdvance(message); ++width) {
        QTextLayout layout(message, font);
        layout.setTextOption(wrapping);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            const QString text = message.mid(line.textStart(), line.textLength());
            if (text.contains(QStringLiteral("16.0"))) {
                EXPECT_TRUE(text.contains(QStringLiteral("MB"))) << width;
            }
        }
        layout.endLayout();
    }
}

TEST(CleanupFigures, FreeSpaceAfterIsCappedAndCountsAreUngrouped) {
    VolumeInfo disk;
    disk.total = 1000;
    disk.available = 700;
    EXPECT_EQ(CleanupBar::reclaim({disk}, 200), (CleanupBar::Reclaim{700, 900}));
    EXPECT_EQ(CleanupBar::reclaim({disk}, 500), (CleanupBar::Reclaim{700, 1000}));
    EXPECT_EQ(CleanupBar::reclaim({}, 500), std::nullopt);
    disk.total = 0;
    EXPECT_EQ(CleanupBar::reclaim({disk}, 500), std::nullopt);
    EXPECT_EQ(CleanupBar::countText(1), "1 item staged");
    EXPECT_EQ(CleanupBar::countText(1500), "1500 items staged");
    EXPECT_EQ(CleanupBar::confirmationTitle(1), "Move 1 item to the Trash?");
}
