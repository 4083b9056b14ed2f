// Renders every shared component in every theme offscreen, writes the renders to <build>/gallery/
// for people to look at, and checks the drawn pixels.
#include "style/Typography.h"
#include "views/components/ComponentTestSupport.h"
#include "state/VizMode.h"
#include "core/FileNode.h"
#include "support/TreeText.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/CategoryBar.h"
#include "views/components/controls/Chip.h"
#include "views/components/controls/DonutGauge.h"
#include "views/components/controls/IconToggle.h"
#include "style/Motion.h"
#include "views/components/NodeGlyph.h"
#include "views/components/controls/Panel.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/controls/SegmentedRail.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/StatRow.h"
#include "style/SymbolImage.h"

#include <QBackingStore>
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
using namespace tallymere::test;

namespace {

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

// A card repainted only where something on it changed shows what drawing the whole card gives,
// wherever that is: deep inside, along an edge or in a rounded corner.
TEST_F(Gallery, PanelRepaintedInPartsMatchesAWholeDrawing) {
    const Theme theme = Theme::make(ThemeID::slate);
    Panel panel(14, 14);
    ThemedWidget::applyTheme(&panel, theme);
    panel.resize(160, 90);
    auto* spot = new QWidget(&panel);
    panel.show();
    QCoreApplication::processEvents();
    auto shown = [&] {
        auto* store = dynamic_cast<QImage*>(panel.backingStore()->paintDevice());
        return store ? store->copy(QRect(QPoint(0, 0), panel.size() * store->devicePixelRatio())) : QImage();
    };
    ASSERT_FALSE(shown().isNull());
    int compared = 0;
    for (int y = -2; y < panel.height(); y += 3)
        for (int x = -2; x < panel.width(); x += 3) {
            spot->setGeometry(x, y, 5, 4);
            spot->update();
            QCoreApplication::processEvents();
            ASSERT_EQ(shown(), panel.grab().toImage().convertToFormat(shown().format())) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, 1500);
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

    // Heights follow the texts as they change: a long label wraps beside a long value and takes
    // one line again when the value shrinks, at any width asked before or after.
    StatRow changing("Logical size on the disk of this machine", "1 KB");
    const int oneLine = changing.heightForWidth(400);
    EXPECT_GT(changing.heightForWidth(150), oneLine);
    changing.setValue("/home/someone/Projects/tallymere/build/gallery/output");
    EXPECT_GT(changing.heightForWidth(150), oneLine);
    EXPECT_GT(changing.heightForWidth(400), oneLine);
    changing.setValue("1 KB");
    EXPECT_EQ(changing.heightForWidth(400), oneLine);
    changing.setLabel("Size");
    EXPECT_EQ(changing.heightForWidth(150), oneLine);
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
