#include "style/Typography.h"
#include "state/VizMode.h"
#include "state/WorkspaceTab.h"
#include "state/ThemeID.h"
#include "core/CleanupPreset.h"
#include "core/FileCategory.h"
#include "style/SymbolImage.h"

#include <QCoreApplication>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace tallymere;

namespace {

class SymbolImages : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

int inkedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

} // namespace

TEST_F(SymbolImages, EveryNameHasAGlyphInTheSymbolFont) {
    const QRawFont& font = SymbolImage::font();
    ASSERT_TRUE(font.isValid());
    EXPECT_EQ(font.familyName(), "Material Icons");
    QFont byName(font.familyName());
    byName.setPixelSize(24);
    for (const SymbolImage::Entry& entry : SymbolImage::table()) {
        EXPECT_TRUE(font.supportsCharacter(QChar(entry.codepoint)))
            << entry.name << " -> " << entry.material << " has no glyph";
        // The code point is the icon the table means: the font's ligature for the icon's name
        // shapes to the same single glyph.
        QTextLayout layout(QString::fromLatin1(entry.material.data(), qsizetype(entry.material.size())), byName);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        ASSERT_EQ(runs.size(), 1) << entry.material;
        const QList<quint32> glyphs = runs.first().glyphIndexes();
        EXPECT_EQ(glyphs.size(), 1) << entry.material;
        EXPECT_EQ(glyphs.value(0), runs.first().rawFont().glyphIndexesForString(QString(QChar(entry.codepoint))).value(0))
            << entry.name << " -> " << entry.material;
    }
    EXPECT_TRUE(font.supportsCharacter(QChar(SymbolImage::missingGlyph)));
}

TEST_F(SymbolImages, TableIsSortedUniqueAndLooksUpEveryName) {
    const auto table = SymbolImage::table();
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end(),
                               [](const auto& a, const auto& b) { return a.name < b.name; }));
    std::set<std::string_view> names;
    for (const auto& entry : table) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        EXPECT_EQ(SymbolImage::codepoint(entry.name), entry.codepoint);
    }
    EXPECT_EQ(SymbolImage::codepoint("folder.fil"), std::nullopt);
    EXPECT_EQ(SymbolImage::codepoint(""), std::nullopt);
}

TEST_F(SymbolImages, EverySymbolTheProgramNamesIsInTheTable) {
    std::vector<std::string> used;
    for (FileCategory category : FileCategories::all) used.emplace_back(FileCategories::symbol(category));
    for (VizMode mode : VizModes::all) used.emplace_back(VizModes::symbol(mode));
    for (WorkspaceTab tab : WorkspaceTabs::all) used.emplace_back(WorkspaceTabs::symbol(tab));
    for (ColorMode mode : ColorModes::all) used.emplace_back(ColorModes::symbol(mode));
    for (const CleanupPreset& preset : CleanupPreset::table("/home/someone")) used.push_back(preset.symbol);
    for (const std::string& name : used) EXPECT_TRUE(SymbolImage::codepoint(name).has_value()) << name;
}

TEST_F(SymbolImages, DrawsInTheRequestedColourSizeAndWeight) {
    const QPixmap regular = SymbolImage::pixmap("folder.fill", 20, QFont::Normal, QColor(200, 30, 40));
    EXPECT_EQ(regular.size(), QSize(24, 24));
    const QImage image = regular.toImage().convertToFormat(QImage::Format_ARGB32);
    // The folder's body fills the middle; the em square's corners stay clear.
    const QColor middle = image.pixelColor(12, 14);
    EXPECT_EQ(middle.alpha(), 255);
    EXPECT_EQ(middle.rgb(), QColor(200, 30, 40).rgb());
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);

    const int regularInk = inkedPixels(image);
    const int boldInk =
        inkedPixels(SymbolImage::pixmap("folder.fill", 20, QFont::Bold, Qt::black).toImage().convertToFormat(QImage::Format_ARGB32));
    const int largeInk =
        inkedPixels(SymbolImage::pixmap("folder.fill", 40, QFont::Normal, Qt::black).toImage().convertToFormat(QImage::Format_ARGB32));
    EXPECT_GT(boldInk, regularInk);
    EXPECT_GT(largeInk, 3 * regularInk);

    // A high-density image holds the same drawing at twice the pixels.
    const QPixmap sharp = SymbolImage::pixmap("folder.fill", 20, QFont::Normal, Qt::black, 2.0);
    EXPECT_EQ(sharp.size(), QSize(48, 48));
}

TEST_F(SymbolImages, UnknownNamesDrawAVisiblePlaceholder) {
    const QImage unknown =
        SymbolImage::pixmap("no.such.symbol", 20, QFont::Normal, Qt::black).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_GT(inkedPixels(unknown), 20);
    const QImage nothing =
        SymbolImage::pixmap("trash", 0, QFont::Normal, Qt::black).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(inkedPixels(nothing), 0);
}
