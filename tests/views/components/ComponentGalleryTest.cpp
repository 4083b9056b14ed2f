// Renders every shared component in every theme offscreen, writes the renders to <build>/gallery/
// for people to look at, and checks the drawn pixels.
#include "style/Typography.h"
#include "state/VizMode.h"
#include "core/FileNode.h"
#include "support/TreeText.h"
#include "views/components/ActionButton.h"
#include "views/components/CategoryBar.h"
#include "views/components/Chip.h"
#include "views/components/DonutGauge.h"
#include "views/components/IconToggle.h"
#include "style/Motion.h"
#include "views/components/NodeGlyph.h"
#include "views/components/Panel.h"
#include "views/components/SectionLabel.h"
#include "views/components/SegmentedRail.h"
#include "views/components/ShapePaint.h"
#include "views/components/StatRow.h"
#include "style/SymbolImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFontInfo>
#include <QGridLayout>
#include <QImage>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using namespace tallymere;

namespace {

const QColor backdrop(255, 0, 255);

class Gallery : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

// Lays the widget out at its preferred size (or the given one) and renders it, children included,
// over a magenta backdrop so that anything left unpainted shows.
QImage render(QWidget& widget, QSize size = {}) {
    widget.ensurePolished();
    if (widget.layout()) widget.layout()->activate();
    widget.resize(size.isValid() ? size : widget.sizeHint());
    if (widget.layout()) widget.layout()->activate();
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(backdrop);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 2) {
    if (distance(actual, expected) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.name().toStdString() << " is not "
                                         << expected.name().toStdString();
}

// What a colour with opacity looks like over an opaque one.
QColor over(const QColor& top, const QColor& below) {
    return ColorRules::mix(below, QColor(top.red(), top.green(), top.blue()), top.alphaF());
}

QColor pixel(const QImage& image, double x, double y) { return image.pixelColor(int(x), int(y)); }

// Whether any pixel of the area is within `tolerance` of the colour.
bool contains(const QImage& image, const QRect& area, const QColor& color, int tolerance = 12) {
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (distance(image.pixelColor(x, y), color) <= tolerance) return true;
    return false;
}

// The point of a circle at a clock angle: 0 at 12 o'clock, growing clockwise.
QPointF onCircle(const QRectF& circle, double clockDegrees) {
    const double radians = clockDegrees * std::numbers::pi / 180.0;
    const double r = circle.width() / 2;
    return {circle.center().x() + r * std::sin(radians), circle.center().y() - r * std::cos(radians)};
}

void click(QWidget& widget, QPointF at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    QCoreApplication::sendEvent(&widget, &release);
}

void hover(QWidget& widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&widget, &leave);
    }
}

// Runs a component's animation to the given time without waiting for the clock.
void seek(QWidget& widget, const char* name, int milliseconds) {
    auto* animation = widget.findChild<QVariantAnimation*>(QString::fromLatin1(name));
    ASSERT_NE(animation, nullptr) << name;
    animation->setCurrentTime(milliseconds);
}

QString galleryFolder() {
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/gallery");
    QDir().mkpath(folder);
    return folder;
}

// A widget holding every component, as the views use them.
struct Sheet {
    std::shared_ptr<FileNode> tree = test::treeFromText("root/\n  docs/\n  Tool.app/ package\n  notes.dat 4\n");
    QWidget root;
    Panel* panel = nullptr;
    DonutGauge* gauge = nullptr;
    ActionButton* prominent = nullptr;
    SegmentedRail* rail = nullptr;

    Sheet() {
        auto* grid = new QGridLayout(&root);
        grid->setContentsMargins(16, 16, 16, 16);
        grid->setSpacing(14);

        auto* card = new QWidget;
        auto* column = new QVBoxLayout(card);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        column->addWidget(new SectionLabel("Storage", QStringLiteral("3 volumes")));
        column->addWidget(new StatRow("Used", "412.6 GB"));
        column->addWidget(new StatRow("Free", "87.4 GB", QColor(0x3F, 0x7A, 0x54)));
        column->addWidget(new StatRow("Path", "/home/someone/Projects/tallymere/build/gallery/output"));
        auto* bar = new CategoryBar({{FileCategory::video, 0.34},
                                     {FileCategory::image, 0.2},
                                     {FileCategory::code, 0.16},
                                     {FileCategory::app, 0.12},
                                     {FileCategory::data, 0.0001}},
                                    8);
        column->addWidget(bar);
        panel = new Panel(14, 14, card);
        panel->setFixedWidth(300);
        grid->addWidget(panel, 0, 0, 3, 1);

        auto* gauges = new QWidget;
        auto* gaugeRow = new QHBoxLayout(gauges);
        gaugeRow->setContentsMargins(0, 0, 0, 0);
        gauge = new DonutGauge(0.25, "25%", "USED", 76);
        gaugeRow->addWidget(gauge);
        gaugeRow->addWidget(new DonutGauge(0.0, "0%", "EMPTY", 76));
        gaugeRow->addWidget(new DonutGauge(0.85, "85%", "HIGH", 76));
        gaugeRow->addWidget(new DonutGauge(0.97, "97%", "FULL", 76));
        gaugeRow->addWidget(new DonutGauge(0.6, "60%", "TINT", 76, QColor(0x3D, 0x6E, 0xA8)));
        grid->addWidget(gauges, 0, 1);

        auto* buttons = new QWidget;
        auto* buttonRow = new QHBoxLayout(buttons);
        buttonRow->setContentsMargins(0, 0, 0, 0);
        prominent = new ActionButton("Capture Current Scan", "camera.fill", true, true);
        buttonRow->addWidget(prominent);
        buttonRow->addWidget(new ActionButton("Scan Home", "house.fill", false, false));
        buttonRow->addWidget(new ActionButton("Clean Up", "trash.fill", false, true));
        buttonRow->addWidget(new IconToggle("textformat.size.smaller", "Show labels", true));
        buttonRow->addWidget(new IconToggle("sidebar.right", "Toggle inspector", false));
        grid->addWidget(buttons, 1, 1);

        auto* chips = new QWidget;
        auto* chipRow = new QHBoxLayout(chips);
        chipRow->setContentsMargins(0, 0, 0, 0);
        chipRow->addWidget(new Chip("Folder", std::string("folder.fill"), std::nullopt));
        chipRow->addWidget(new Chip("No access", std::string("lock.fill"), QColor(0xB0, 0x7C, 0x22)));
        chipRow->addWidget(new Chip("1,204 files", std::nullopt, std::nullopt));
        const FileNode& docs = *tree->children()[0];
        const FileNode& tool = *tree->children()[1];
        const FileNode& notes = *tree->children()[2];
        chipRow->addWidget(new NodeGlyph(docs, 18));
        chipRow->addWidget(new NodeGlyph(tool, 18));
        chipRow->addWidget(new NodeGlyph(notes, 18));
        chipRow->addStretch();
        grid->addWidget(chips, 2, 1);

        rail = new SegmentedRail(SegmentedRail::makeItems(
                                     VizModes::all, [](VizMode m) { return QString::fromLatin1(VizModes::rawValue(m)); },
                                     [](VizMode m) { return VizModes::symbol(m); },
                                     [](VizMode m) { return QString::fromLatin1(VizModes::title(m)); }),
                                 QStringLiteral("sunburst"));
        grid->addWidget(rail, 3, 0, 1, 2, Qt::AlignLeft);
    }
};

} // namespace

TEST_F(Gallery, EveryComponentInEveryThemeIsWrittenAndDrawnInItsColours) {
    for (ThemeID id : ThemeIDs::all) {
        SCOPED_TRACE(std::string(ThemeIDs::rawValue(id)));
        const Theme theme = Theme::make(id);
        Sheet sheet;
        ThemedWidget::applyTheme(&sheet.root, theme);
        QImage image(sheet.root.sizeHint(), QImage::Format_ARGB32);
        sheet.root.resize(sheet.root.sizeHint());
        sheet.root.layout()->activate();
        image.fill(theme.background);
        sheet.root.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const QString file = galleryFolder() + "/components-" + QString::fromLatin1(ThemeIDs::rawValue(id)) + ".png";
        ASSERT_TRUE(image.save(file));

        // The panel's card is the theme's surface just inside its border, and its border the stroke.
        const QRect card = sheet.panel->geometry();
        EXPECT_TRUE(near(pixel(image, card.left() + 5, card.center().y()), theme.surface));
        EXPECT_TRUE(near(pixel(image, card.left(), card.center().y()), theme.stroke));
        // The gauge's quarter ring is in accentSecondary on the 3 o'clock side, track beyond it.
        const QRectF circle = sheet.gauge->circleRect().translated(sheet.gauge->mapTo(&sheet.root, QPoint()));
        EXPECT_TRUE(near(pixel(image, onCircle(circle, 45).x(), onCircle(circle, 45).y()), theme.accentSecondary));
        EXPECT_TRUE(near(pixel(image, onCircle(circle, 200).x(), onCircle(circle, 200).y()), theme.surfaceRaised));
        // The prominent button is filled with the accent, the rail's selected capsule too.
        const QRect button = sheet.prominent->geometry().translated(sheet.prominent->parentWidget()->pos());
        EXPECT_TRUE(near(pixel(image, button.left() + 4, button.center().y()), theme.accent));
        const QRectF capsule = sheet.rail->capsuleRect().translated(sheet.rail->pos());
        EXPECT_TRUE(near(pixel(image, capsule.left() + 8, capsule.top() + 3), theme.accent));
    }
    // Every symbol, for a look at the glyph choices.
    const auto table = SymbolImage::table();
    const int columns = 10;
    const int rows = int(table.size() + columns - 1) / columns;
    QImage symbols(columns * 40, rows * 40, QImage::Format_ARGB32);
    symbols.fill(Qt::white);
    QPainter painter(&symbols);
    for (std::size_t i = 0; i < table.size(); ++i)
        SymbolImage::draw(painter, QRectF(int(i % columns) * 40, int(i / columns) * 40, 40, 40), table[i].name, 22,
                          QFont::Normal, Qt::black);
    painter.end();
    EXPECT_TRUE(symbols.save(galleryFolder() + "/symbols.png"));
}

TEST_F(Gallery, TextIsSetInInter) {
    EXPECT_EQ(QFontInfo(SectionLabel::captionFont()).family(), "Inter");
    EXPECT_EQ(QFontInfo(StatRow::valueFont()).styleName().remove(QLatin1Char(' ')), "SemiBold");
    EXPECT_EQ(QFontInfo(DonutGauge::labelFont()).styleName(), "Bold");
    EXPECT_EQ(QFontInfo(Chip::textFont()).family(), "Inter");
    ActionButton compact("Go", "arrow.right", false, true);
    EXPECT_EQ(QFontInfo(compact.titleFont()).pixelSize(), 11); // 11 × 0.96 rounded
}

TEST_F(Gallery, PanelPadsItsContentOnASurfaceCard) {
    const Theme theme = Theme::make(ThemeID::linen);
    auto* content = new QWidget;
    content->setFixedSize(100, 40);
    Panel panel(14, 14, content);
    ThemedWidget::applyTheme(&panel, theme);
    const QImage image = render(panel);
    EXPECT_EQ(image.width(), 128);
    EXPECT_EQ(image.height(), 68);
    EXPECT_EQ(content->geometry(), QRect(14, 14, 100, 40));
    EXPECT_TRUE(near(pixel(image, 7, 34), theme.surface));
    EXPECT_TRUE(near(pixel(image, 64, 34), theme.surface)); // under the unpainted content
    // The border lies inside the card's own width, and the rounded corner leaves the backdrop.
    EXPECT_TRUE(near(pixel(image, 0, 34), theme.stroke));
    EXPECT_TRUE(near(pixel(image, 127, 34), theme.stroke));
    EXPECT_TRUE(near(pixel(image, 0, 0), backdrop));
    // Content added later joins the panel's theme.
    panel.setContent(new Chip("x"));
    EXPECT_EQ(static_cast<Chip*>(panel.content())->theme().id, ThemeID::linen);
}

TEST_F(Gallery, SectionLabelCapitalisesItsCaptionOnlyAndSpansTheRow) {
    const Theme theme = Theme::make(ThemeID::paper);
    SectionLabel mixed("File types", QStringLiteral("by size"));
    SectionLabel upper("FILE TYPES", QStringLiteral("by size"));
    SectionLabel bare("Recent");
    EXPECT_EQ(mixed.caption(), "FILE TYPES");
    EXPECT_EQ(*mixed.trailing(), "by size");
    // Drawn the same as the capitals: the caption is upper-cased, the note is not.
    EXPECT_EQ(render(mixed, {240, 16}), render(upper, {240, 16}));
    SectionLabel shouting("File types", QStringLiteral("BY SIZE"));
    EXPECT_NE(render(mixed, {240, 16}), render(shouting, {240, 16}));

    EXPECT_EQ(bare.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    const QImage image = render(bare, {240, 16});
    // The caption starts at the left edge; with no note the right side stays empty.
    EXPECT_TRUE(contains(image, QRect(0, 0, 12, 16), theme.textTertiary, 40));
    EXPECT_FALSE(contains(image, QRect(120, 0, 120, 16), theme.textTertiary, 60));
    const QImage noted = render(mixed, {240, 16});
    EXPECT_TRUE(contains(noted, QRect(200, 0, 40, 16), theme.textTertiary, 40));
}

TEST_F(Gallery, StatRowTintsAndShortensItsValueInTheMiddle) {
    const Theme theme = Theme::make(ThemeID::mist);
    const QColor tint(0xC0, 0x20, 0x20);
    StatRow plain("Used", "412.6 GB");
    StatRow tinted("Used", "412.6 GB", tint);
    ThemedWidget::applyTheme(&plain, theme);
    ThemedWidget::applyTheme(&tinted, theme);
    EXPECT_EQ(plain.valueColor(), theme.text);
    const QImage plainImage = render(plain, {200, 20});
    const QImage tintedImage = render(tinted, {200, 20});
    const QRect valueArea(140, 0, 60, 20);
    EXPECT_TRUE(contains(tintedImage, valueArea, tint, 30));
    EXPECT_FALSE(contains(plainImage, valueArea, tint, 60));
    EXPECT_TRUE(contains(plainImage, valueArea, theme.text, 40));
    // The label sits at the left in the secondary colour.
    EXPECT_TRUE(contains(plainImage, QRect(0, 0, 30, 20), theme.textSecondary, 40));

    const QString path = "/home/someone/Projects/tallymere/build/gallery/output";
    StatRow row("Path", path);
    const auto geometry = row.geometryFor(160);
    EXPECT_TRUE(geometry.shownValue.contains(QChar(0x2026)));
    EXPECT_TRUE(geometry.shownValue.startsWith("/ho"));
    EXPECT_TRUE(geometry.shownValue.endsWith("put"));
    EXPECT_GE(geometry.value.left() - geometry.label.right(), 8.0 - 0.01);
    EXPECT_EQ(row.heightForWidth(160), StatRow("Path", "short").heightForWidth(160));

    // In a taller panel the rows keep their own height instead of sharing the room.
    QWidget panel;
    auto* column = new QVBoxLayout(&panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* first = new StatRow("Used", "412.6 GB");
    auto* second = new StatRow("Free", "87.4 GB");
    column->addWidget(first);
    column->addWidget(second);
    panel.resize(200, 300);
    panel.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(first->height(), first->heightForWidth(200));
    EXPECT_EQ(second->height(), second->heightForWidth(200));
}

TEST_F(Gallery, ActionButtonFormsHoverAndClicks) {
    const Theme theme = Theme::make(ThemeID::sage);
    int runs = 0;
    ActionButton prominent("Add to Cleanup", "trash.fill", true, false, [&] { ++runs; });
    ActionButton plain("Reveal", "arrow.up.forward.app", false, true);
    ThemedWidget::applyTheme(&prominent, theme);
    ThemedWidget::applyTheme(&plain, theme);

    QImage image = render(prominent, {220, prominent.sizeHint().height()});
    // No border: the edge is the accent fill itself; the content is drawn in onAccent.
    EXPECT_TRUE(near(pixel(image, 4, image.height() / 2), theme.accent));
    EXPECT_TRUE(near(pixel(image, 0, image.height() / 2), theme.accent, 6));
    EXPECT_TRUE(contains(image, QRect(40, 0, 140, image.height()), theme.onAccent(), 20));

    image = render(plain, {160, plain.sizeHint().height()});
    EXPECT_TRUE(near(pixel(image, 4, image.height() / 2), theme.surface));
    EXPECT_TRUE(near(pixel(image, 0, image.height() / 2), theme.stroke));
    EXPECT_TRUE(contains(image, QRect(30, 0, 100, image.height()), theme.text, 30));

    // Hovering eases the fill over 0.14 s toward surfaceRaised, and back when the pointer leaves.
    hover(plain, true);
    EXPECT_TRUE(plain.isHovering());
    auto* animation = plain.findChild<QVariantAnimation*>("hoverAnimation");
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->duration(), 140);
    seek(plain, "hoverAnimation", 70);
    const QColor halfway = pixel(render(plain, {160, plain.sizeHint().height()}), 4, 10);
    EXPECT_FALSE(near(halfway, theme.surface, 1));
    EXPECT_FALSE(near(halfway, theme.surfaceRaised, 1));
    seek(plain, "hoverAnimation", 140);
    EXPECT_TRUE(near(pixel(render(plain, {160, plain.sizeHint().height()}), 4, 10), theme.surfaceRaised));
    hover(prominent, true);
    seek(prominent, "hoverAnimation", 140);
    EXPECT_TRUE(near(pixel(render(prominent, {220, prominent.sizeHint().height()}), 4, 10),
                     over(ShapePaint::withOpacity(theme.accent, 0.88), backdrop)));

    // Compact is smaller; a long title stays on one line and is cut short before the padding.
    EXPECT_LT(plain.sizeHint().height(), prominent.sizeHint().height());
    ActionButton longTitle("Uninstall Completely and Remove Every Leftover File", "trash.fill", false, false);
    ThemedWidget::applyTheme(&longTitle, theme);
    EXPECT_EQ(longTitle.sizeHint().height(), ActionButton("Go", "trash.fill").sizeHint().height());
    const QImage cut = render(longTitle, {150, longTitle.sizeHint().height()});
    EXPECT_FALSE(contains(cut, QRect(142, 6, 6, cut.height() - 12), theme.text, 80));

    click(prominent, QPointF(20, 10));
    EXPECT_EQ(runs, 1);
    prominent.setEnabled(false);
    click(prominent, QPointF(20, 10));
    EXPECT_EQ(runs, 1);
}

TEST_F(Gallery, IconToggleShowsItsCallersState) {
    const Theme theme = Theme::make(ThemeID::slate);
    int runs = 0;
    IconToggle on("textformat.size.smaller", "Show labels", true, [&] { ++runs; });
    IconToggle off("sidebar.right", "Toggle inspector", false);
    ThemedWidget::applyTheme(&on, theme);
    ThemedWidget::applyTheme(&off, theme);
    EXPECT_EQ(on.size(), QSize(28, 26));
    EXPECT_EQ(on.toolTip(), "Show labels");

    const QColor onFill = over(ShapePaint::withOpacity(theme.accent, 0.1), backdrop);
    EXPECT_TRUE(near(pixel(render(on), 4, 13), onFill));
    EXPECT_TRUE(contains(render(on), QRect(6, 5, 16, 16), theme.accent, 20));
    hover(on, true);
    EXPECT_TRUE(near(pixel(render(on), 4, 13), onFill));

    EXPECT_TRUE(near(pixel(render(off), 4, 13), backdrop));
    EXPECT_TRUE(contains(render(off), QRect(6, 5, 16, 16), theme.textSecondary, 20));
    hover(off, true);
    EXPECT_TRUE(near(pixel(render(off), 4, 13), theme.surfaceRaised));
    hover(off, false);
    EXPECT_TRUE(near(pixel(render(off), 4, 13), backdrop));

    const QImage before = render(on);
    click(on, QPointF(14, 13));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(on.isOn());
    EXPECT_EQ(render(on), before);
}

TEST_F(Gallery, SegmentedRailMarksTheSelectionAndGlidesToAClickedSegment) {
    const Theme theme = Theme::make(ThemeID::paper);
    const std::vector<RailItem> items = {
        {"treemap", "square.grid.2x2.fill", "Treemap"},
        {"folders", "folder.fill", "Folders"},
        {"icicle", "chart.bar.doc.horizontal.fill", "Flame"},
    };
    SegmentedRail rail(items, "treemap");
    ThemedWidget::applyTheme(&rail, theme);
    std::vector<QString> written;
    QObject::connect(&rail, &SegmentedRail::selectionWritten, [&](const QString& id) { written.push_back(id); });

    auto rects = rail.segmentRects();
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_GT(rects[0].width(), rects[1].width());
    EXPECT_DOUBLE_EQ(rects[1].width(), rects[2].width());
    EXPECT_DOUBLE_EQ(rects[1].left() - rects[0].right(), 2.0);
    EXPECT_EQ(rail.capsuleRect(), rects[0]);
    QImage image = render(rail);
    EXPECT_EQ(image.size(), rail.sizeHint());
    EXPECT_TRUE(near(pixel(image, rects[0].left() + 6, rects[0].center().y()), theme.accent));
    EXPECT_TRUE(contains(image, rects[0].toRect(), theme.onAccent(), 20));
    EXPECT_FALSE(contains(image, rects[2].toRect(), theme.accent, 10));

    // A click writes the item, and the capsule travels there under the spring.
    click(rail, rects[2].center());
    EXPECT_EQ(written, std::vector<QString>{"icicle"});
    EXPECT_EQ(rail.selection(), "icicle");
    seek(rail, "railAnimation", 0);
    const double start = rail.capsuleRect().left();
    seek(rail, "railAnimation", 120);
    const double middle = rail.capsuleRect().left();
    seek(rail, "railAnimation", Motion::springDurationMs);
    rects = rail.segmentRects();
    EXPECT_LT(start, middle);
    EXPECT_LT(middle, rects[2].left() + 0.5);
    EXPECT_EQ(rail.capsuleRect(), rects[2]);
    EXPECT_GT(rects[2].width(), rects[0].width());
    image = render(rail);
    EXPECT_TRUE(near(pixel(image, rects[2].left() + 6, rects[2].center().y()), theme.accent));
    EXPECT_FALSE(contains(image, rects[0].toRect(), theme.accent, 10));

    // Clicking the selected segment writes it again; a caller echoing it back changes nothing.
    click(rail, rects[2].center());
    rail.setSelection("icicle");
    EXPECT_EQ(written, (std::vector<QString>{"icicle", "icicle"}));

    // A selection matching no item: icons only, no capsule.
    rail.setSelection("table");
    EXPECT_EQ(rail.selectedIndex(), -1);
    EXPECT_TRUE(rail.capsuleRect().isEmpty());
    EXPECT_FALSE(contains(render(rail), rail.rect(), theme.accent, 10));

    SegmentedRail empty({}, "x");
    EXPECT_EQ(empty.sizeHint(), QSize(6, 6));
}

TEST_F(Gallery, DonutGaugeRingFollowsTheFractionAndSweeps) {
    const Theme theme = Theme::make(ThemeID::paper);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.95, std::nullopt), theme.danger);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.92, std::nullopt), theme.warning);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.8, std::nullopt), theme.warning);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.78, std::nullopt), theme.accentSecondary);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.5, std::nullopt), theme.accentSecondary);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.99, QColor(Qt::blue)), QColor(Qt::blue));

    DonutGauge gauge(0.95, "95%", "USED", 120);
    ThemedWidget::applyTheme(&gauge, theme);
    EXPECT_EQ(gauge.size(), QSize(127, 127));
    const QRectF circle = gauge.circleRect();
    QImage image = render(gauge);
    auto at = [&](double clock) { return pixel(image, onCircle(circle, clock).x(), onCircle(circle, clock).y()); };
    EXPECT_TRUE(near(at(10), theme.danger));
    EXPECT_TRUE(near(at(330), theme.danger));
    EXPECT_TRUE(near(at(351), theme.surfaceRaised));
    // The label is drawn in the middle.
    EXPECT_TRUE(contains(image, QRect(40, 45, 47, 20), theme.text, 40));

    // Zero still shows a dot at 12 o'clock and nothing further on.
    DonutGauge empty(0, "0%", "", 120);
    ThemedWidget::applyTheme(&empty, theme);
    image = render(empty);
    EXPECT_TRUE(near(at(0), theme.accentSecondary));
    EXPECT_TRUE(near(at(20), theme.surfaceRaised));

    // A new fraction sweeps over half a second, eased out: ahead of linear at the midpoint.
    empty.setFraction(0.5);
    EXPECT_DOUBLE_EQ(empty.shownFraction(), 0.0);
    seek(empty, "sweepAnimation", 250);
    EXPECT_GT(empty.shownFraction(), 0.25);
    EXPECT_LT(empty.shownFraction(), 0.5);
    seek(empty, "sweepAnimation", DonutGauge::sweepDurationMs);
    EXPECT_DOUBLE_EQ(empty.shownFraction(), 0.5);
    image = render(empty);
    EXPECT_TRUE(near(at(160), theme.accentSecondary));
    EXPECT_TRUE(near(at(200), theme.surfaceRaised));

    // The colour follows the sweep: a gauge heading for 95% is not red while it passes 40%.
    DonutGauge rising(0, "", "", 120);
    ThemedWidget::applyTheme(&rising, theme);
    rising.setFraction(0.95);
    seek(rising, "sweepAnimation", 60);
    ASSERT_LT(rising.shownFraction(), 0.78);
    image = render(rising);
    EXPECT_TRUE(near(at(5), theme.accentSecondary));
    seek(rising, "sweepAnimation", DonutGauge::sweepDurationMs);
    image = render(rising);
    EXPECT_TRUE(near(at(5), theme.danger));

    // Above 1: a full ring.
    DonutGauge over(1.7, "", "", 120);
    ThemedWidget::applyTheme(&over, theme);
    image = render(over);
    for (double clock : {90.0, 180.0, 270.0, 355.0}) EXPECT_TRUE(near(at(clock), theme.danger)) << clock;
}

TEST_F(Gallery, CategoryBarSegmentsAndRoundedEnds) {
    const Theme theme = Theme::make(ThemeID::mist);
    CategoryBar whole({{FileCategory::image, 1.0}}, 8);
    ThemedWidget::applyTheme(&whole, theme);
    QImage image = render(whole, {200, 8});
    EXPECT_TRUE(near(pixel(image, 100, 4), theme.ramp[3]));
    EXPECT_TRUE(near(pixel(image, 1, 4), theme.ramp[3], 40));
    EXPECT_TRUE(near(pixel(image, 198, 4), theme.ramp[3], 40));
    EXPECT_TRUE(near(pixel(image, 0, 0), backdrop, 40));
    EXPECT_TRUE(near(pixel(image, 199, 7), backdrop, 40));

    const std::vector<CategoryBar::Segment> segments = {
        {FileCategory::video, 0.0001}, {FileCategory::code, 0.5}, {FileCategory::data, -2},
        {FileCategory::app, std::numeric_limits<double>::infinity()}, {FileCategory::app, std::nan("")}};
    const auto rects = CategoryBar::segmentRects(segments, 200, 8);
    EXPECT_DOUBLE_EQ(rects[0].width(), 1.0);
    EXPECT_DOUBLE_EQ(rects[1].left(), 2.5);
    EXPECT_DOUBLE_EQ(rects[1].width(), 100.0);
    // Tiny, negative and non-finite shares all keep the 1-pixel minimum.
    for (std::size_t i : {2u, 3u, 4u}) EXPECT_DOUBLE_EQ(rects[i].width(), 1.0) << i;
    CategoryBar split(segments, 8);
    ThemedWidget::applyTheme(&split, theme);
    image = render(split, {200, 8});
    EXPECT_TRUE(near(pixel(image, 50, 4), theme.ramp[2]));
    EXPECT_TRUE(near(pixel(image, 150, 4), backdrop));
}

TEST_F(Gallery, ChipColoursAndSymbol) {
    const Theme theme = Theme::make(ThemeID::linen);
    Chip plain("Package");
    Chip marked("Package", std::string("shippingbox"));
    ThemedWidget::applyTheme(&plain, theme);
    ThemedWidget::applyTheme(&marked, theme);
    EXPECT_EQ(marked.sizeHint().width() - plain.sizeHint().width(),
              int(std::ceil(SymbolImage::size(8.5).width() + 4)));
    const QImage image = render(plain);
    const QColor fill = over(ShapePaint::withOpacity(theme.textTertiary, 0.16), backdrop);
    EXPECT_TRUE(near(pixel(image, 4, image.height() / 2), fill, 3));
    // The border is drawn over the fill along the edge.
    EXPECT_TRUE(near(pixel(image, image.width() / 2, 0), over(ShapePaint::withOpacity(theme.textTertiary, 0.22), fill), 3));
    const QColor ink = ColorRules::mix(theme.textSecondary, theme.text, 0.35);
    EXPECT_EQ(Chip::inkColor(theme, std::nullopt), ink);
    EXPECT_TRUE(contains(image, QRect(8, 2, image.width() - 16, image.height() - 4), over(ink, fill), 30));
    const QColor tint = theme.warning;
    EXPECT_EQ(Chip::inkColor(theme, tint), ColorRules::mix(tint, theme.text, 0.35));
}

TEST_F(Gallery, NodeGlyphShowsTheNodesSymbolInItsColour) {
    const Theme theme = Theme::make(ThemeID::paper);
    auto tree = test::treeFromText("root/\n  docs/\n  Tool.app/ package\n  notes.dat 4\n");
    const FileNode& folder = *tree->children()[0];
    const FileNode& package = *tree->children()[1];
    const FileNode& data = *tree->children()[2];
    EXPECT_EQ(NodeGlyph::symbolName(folder), "folder.fill");
    EXPECT_EQ(NodeGlyph::symbolName(package), FileCategories::symbol(package.category));
    EXPECT_EQ(NodeGlyph::symbolName(data), "doc.fill");
    EXPECT_EQ(NodeGlyph::color(theme, data), theme.ramp[9]);

    NodeGlyph glyph(folder, 20);
    ThemedWidget::applyTheme(&glyph, theme);
    EXPECT_EQ(glyph.sizeHint().width(), 24);
    EXPECT_TRUE(contains(render(glyph), glyph.rect(), theme.textSecondary, 4));
    glyph.setNode(package);
    EXPECT_TRUE(contains(render(glyph), glyph.rect(), theme.category(FileCategory::app), 4));
    EXPECT_FALSE(contains(render(glyph), glyph.rect(), theme.textSecondary, 20));
}

TEST_F(Gallery, ComponentsFollowTheThemeTheyAreGivenAndInherit) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* chip = new Chip("x");
    column->addWidget(chip);
    ThemedWidget::applyTheme(&window, Theme::make(ThemeID::slate));
    EXPECT_EQ(chip->theme().id, ThemeID::slate);
    // A component added afterwards picks the window's theme up.
    auto* later = new StatRow("a", "b");
    column->addWidget(later);
    EXPECT_EQ(later->theme().id, ThemeID::slate);
    ThemedWidget::applyTheme(&window, Theme::make(ThemeID::sage));
    EXPECT_EQ(later->theme().id, ThemeID::sage);
    // So does one inside a subtree that was built on its own and attached afterwards.
    auto* detached = new QWidget;
    auto* inner = new Chip("y", std::nullopt, std::nullopt, detached);
    column->addWidget(detached);
    window.show();
    EXPECT_EQ(inner->theme().id, ThemeID::sage);
    EXPECT_EQ(Chip("lonely").theme().id, ThemeID::paper);
}
