// The text helper: one-line names, truncation at the tail, head and middle, two-line middle
// truncation, shrinking before truncating and digits in equal cells.
#include "style/Typography.h"
#include "views/components/KeptText.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace tallymere;
using TextDraw::Truncation;

namespace {

TextDraw::Style style(Truncation cut, double minimumScale = 1.0) {
    TextDraw::Style s{Typography::font(12, QFont::Normal), Qt::black};
    s.truncation = cut;
    s.minimumScale = minimumScale;
    return s;
}

} // namespace

TEST(TextDrawOneLine, ControlCharactersBecomeVisibleEscapesAndBadBytesReplacements) {
    EXPECT_EQ(TextDraw::oneLine(std::string_view("a\nb\tc\x1b[0m")), QStringLiteral("a\\nb\\tc\\x1b[0m"));
    EXPECT_EQ(TextDraw::oneLine(std::string_view("caf\xe9")), QStringLiteral("caf\uFFFD"));
    EXPECT_EQ(TextDraw::oneLine(std::string_view("<b>x</b>")), QStringLiteral("<b>x</b>"));
    // Text already held as a QString follows the same rule, bidirectional controls included.
    EXPECT_EQ(TextDraw::oneLine(QStringLiteral("bidi\u202Eevil\u2066.txt\n")), QStringLiteral("bidi\\u202eevil\\u2066.txt\\n"));
}

// A tooltip reads as its text was written, markup and double spaces included, and a deep path is
// broken into lines that fit rather than running off the screen.
TEST(TextDrawToolTip, ALongPathBreaksIntoLinesThatFitAndReadsAsWritten) {
    EXPECT_EQ(TextDraw::plainToolTip(QStringLiteral("/home/a/b.txt")), QStringLiteral("/home/a/b.txt"));
    QString path = QStringLiteral("/home/<b>me</b>  &amp;");
    for (int i = 1; i <= 12; ++i) path += QStringLiteral("/a_rather_long_folder_name_number_%1").arg(i);
    path += QStringLiteral("/") + QString(150, QLatin1Char('x')) + QStringLiteral(".dat");
    for (const QString& text : {path, path.left(24)}) {
        QTextDocument shown;
        shown.setDefaultFont(QToolTip::font());
        shown.setHtml(TextDraw::plainToolTip(text));
        const QStringList lines = shown.toPlainText().split(QLatin1Char('\n'));
        EXPECT_EQ(lines.join(QString()), text);
        EXPECT_EQ(lines.size() > 1, text == path);
        for (const QString& line : lines) {
            EXPECT_LE(QFontMetricsF(QToolTip::font()).horizontalAdvance(line), TextDraw::toolTipWidth) << line.toStdString();
        }
    }
}

TEST(TextDrawTruncation, EachModeKeepsItsEndAndFits) {
    const QString text = QStringLiteral("Quarterly-report-2024-final-draft.pdf");
    const double full = TextDraw::width(text, style(Truncation::tail));
    const double box = full * 0.5;
    for (Truncation cut : {Truncation::tail, Truncation::head, Truncation::middle}) {
        const TextDraw::Fitted fitted = TextDraw::fit(text, style(cut), box);
        ASSERT_EQ(fitted.lines.size(), 1);
        EXPECT_LE(fitted.width, box);
        EXPECT_TRUE(fitted.lines[0].contains(QStringLiteral("…")));
        EXPECT_GT(fitted.lines[0].size(), 8);
    }
    EXPECT_TRUE(TextDraw::fit(text, style(Truncation::tail), box).lines[0].startsWith("Quarterly"));
    EXPECT_TRUE(TextDraw::fit(text, style(Truncation::head), box).lines[0].endsWith("draft.pdf"));
    const QString middle = TextDraw::fit(text, style(Truncation::middle), box).lines[0];
    EXPECT_TRUE(middle.startsWith("Quarter") && middle.endsWith(".pdf"));
    // Text that fits is untouched; a box too small for "…" gets nothing.
    EXPECT_EQ(TextDraw::fit(text, style(Truncation::middle), full + 1).lines[0], text);
    EXPECT_TRUE(TextDraw::fit(text, style(Truncation::middle), 1).lines.value(0).isEmpty());

    const TextDraw::Fitted two = TextDraw::fit(text, style(Truncation::twoLineMiddle), full * 0.4);
    ASSERT_EQ(two.lines.size(), 2);
    EXPECT_TRUE(text.startsWith(two.lines[0]));
    EXPECT_TRUE(two.lines[1].endsWith(".pdf"));
    EXPECT_LE(two.width, full * 0.4);
}

TEST(TextDrawShrink, ShrinksToSevenTenthsInFractionalSizesBeforeTruncating) {
    const QString text = QStringLiteral("Photographs of the summer");
    const double full = TextDraw::width(text, style(Truncation::tail));
    ASSERT_EQ(style(Truncation::tail).font.pixelSize(), 12);
    const auto drawnSize = [](const TextDraw::Fitted& fitted) { return fitted.font.pixelSize() * fitted.scale; };
    // Room for 85 %: shrunk, not cut.
    const TextDraw::Fitted shrunk = TextDraw::fit(text, style(Truncation::tail, 0.7), full * 0.85);
    EXPECT_EQ(shrunk.lines[0], text);
    EXPECT_LT(drawnSize(shrunk), 12);
    EXPECT_LE(shrunk.width, full * 0.85);
    // Room for 72 %: below the last whole pixel above seven tenths (9 of 12), still kept whole, at
    // the tenth of a pixel that fits.
    const TextDraw::Fitted close = TextDraw::fit(text, style(Truncation::tail, 0.7), full * 0.72);
    EXPECT_EQ(close.lines[0], text);
    EXPECT_NEAR(drawnSize(close), 8.6, 1e-9);
    EXPECT_LE(close.width, full * 0.72);
    EXPECT_TRUE(TextDraw::fitsWhole(text, style(Truncation::tail, 0.7), full * 0.72));
    // Room for 40 %: shrunk to exactly seven tenths, then cut.
    const TextDraw::Fitted cut = TextDraw::fit(text, style(Truncation::tail, 0.7), full * 0.4);
    EXPECT_NEAR(drawnSize(cut), 12 * 0.7, 1e-9);
    EXPECT_LE(cut.width, full * 0.4);
    EXPECT_TRUE(cut.lines[0].endsWith(QStringLiteral("…")));

    // Drawn at that size: the ink spans the width the fit gave, inside the room.
    QImage image(400, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QRectF used = TextDraw::draw(painter, QRectF(10, 0, full * 0.72, 40), text, style(Truncation::tail, 0.7));
    painter.end();
    EXPECT_NEAR(used.width(), close.width, 1e-9);
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 160) left = std::min(left, x), right = std::max(right, x);
    EXPECT_GE(left, 10);
    EXPECT_LE(right, 10 + full * 0.72);
    EXPECT_GT(right - left, close.width - 4);
}

TEST(TextDrawDigits, EqualCellsMakeEveryNumberOfALengthEquallyWide) {
    TextDraw::Style s = style(Truncation::tail);
    s.monospacedDigits = true;
    EXPECT_DOUBLE_EQ(TextDraw::width("111", s), TextDraw::width("888", s));
    s.upperCase = true;
    EXPECT_EQ(TextDraw::fit("files", s, 500).lines[0], "FILES");

    QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QRectF used = TextDraw::draw(painter, QRectF(10, 0, 180, 40), "1234", s);
    painter.end();
    EXPECT_NEAR(used.width(), TextDraw::width("1234", s), 0.01);
    int dark = 0;
    for (int x = 0; x < 200; ++x)
        for (int y = 0; y < 40; ++y) dark += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(dark, 20);
}

// Kept glyphs and widths must draw what drawing the string draws: at fractional and negative pen
// positions, both pixel ratios, either writing direction, with tracking, fallback fonts and mixed
// scripts, drawn twice (the second time from what was kept).
TEST(TextDrawPixels, KeptShapesDrawExactlyAsTheStringDraws) {
    const QStringList texts = {"node_modules", "132 MB", "AVAWAy Tj", "\u05e9\u05dc\u05d5\u05dd abc",
                               "abc \u0645\u0631\u062d\u0628\u0627 def", "\u6f22\u5b57", "a\u0301e\u0308 \ufb01le"};
    int compared = 0;
    for (double ratio : {1.0, 2.0})
        for (double tracking : {0.0, 0.4})
            for (Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft})
                for (const QString& text : texts)
                    for (double x : {3.0, 4.37, -1.61}) {
                        TextDraw::Style s{Typography::font(12.5, QFont::DemiBold), QColor(20, 30, 40, 200)};
                        s.tracking = tracking;
                        const QFont font = TextDraw::tracked(s.font, tracking);
                        QImage expected(QSize(300, 40) * ratio, QImage::Format_ARGB32_Premultiplied);
                        expected.setDevicePixelRatio(ratio);
                        QImage drawn = expected;
                        for (int round = 0; round < 2; ++round) {
                            expected.fill(Qt::white);
                            drawn.fill(Qt::white);
                            QPainter plain(&expected);
                            plain.translate(1.37, 0.61);
                            plain.setLayoutDirection(direction);
                            plain.setFont(font);
                            plain.setPen(s.color);
                            const double baseline = 20.29;
                            plain.drawText(QPointF(x, baseline), text);
                            plain.end();
                            QPainter painter(&drawn);
                            painter.translate(1.37, 0.61);
                            painter.setLayoutDirection(direction);
                            const double top = baseline - QFontMetricsF(font).ascent();
                            TextDraw::draw(painter, QRectF(x, top, 1000, QFontMetricsF(font).height()), text,
                                           {.font = s.font, .color = s.color, .alignment = Qt::AlignLeft | Qt::AlignTop,
                                            .tracking = tracking});
                            painter.end();
                            EXPECT_EQ(drawn, expected) << text.toStdString() << " ratio " << ratio << " x " << x;
                            ++compared;
                        }
                    }
    EXPECT_EQ(compared, 2 * 2 * 2 * 7 * 3 * 2);
}

// Kept layouts must draw and measure what the toolkit's own text calls draw and measure: aligned
// every way, wrapped and clipped, at fractional positions, both pixel ratios, drawn twice (the
// second time from what was kept).
TEST(KeptTextPixels, KeptLayoutsDrawAndMeasureExactlyAsTheToolkit) {
    const QStringList texts = {"Size", "132 MB", "AVAWAy Tj", "\u05e9\u05dc\u05d5\u05dd abc",
                               "Bytes by last-modified month, over and over again", "a\u0301e\u0308 \ufb01le"};
    const QList<QRectF> rects = {QRectF(3, 2, 200, 18), QRectF(4.37, 1.5, 60.3, 17.2), QRectF(-1.61, 3.3, 120, 40)};
    const QList<int> flagSets = {Qt::AlignLeft | Qt::AlignVCenter,
                                 Qt::AlignRight | Qt::AlignVCenter,
                                 Qt::AlignCenter,
                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                 Qt::AlignRight | Qt::AlignBottom | Qt::TextWordWrap,
                                 Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextDontClip,
                                 Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextDontClip};
    int compared = 0;
    for (double ratio : {1.0, 2.0})
        for (const QString& text : texts)
            for (const QRectF& rect : rects)
                for (int flags : flagSets) {
                    const QFont font = Typography::font(11.5, QFont::DemiBold);
                    QImage expected(QSize(260, 60) * ratio, QImage::Format_ARGB32_Premultiplied);
                    expected.setDevicePixelRatio(ratio);
                    QImage drawn = expected;
                    for (int round = 0; round < 2; ++round) {
                        expected.fill(Qt::white);
                        drawn.fill(Qt::white);
                        for (auto [image, kept] : {std::pair{&expected, false}, std::pair{&drawn, true}}) {
                            QPainter painter(image);
                            painter.translate(1.37, 0.61);
                            painter.setFont(font);
                            painter.setPen(QColor(20, 30, 40, 200));
                            if (kept) KeptText::draw(painter, rect, flags, text);
                            else painter.drawText(rect, flags, text);
                        }
                        ASSERT_EQ(drawn, expected) << text.toStdString() << " flags " << flags << " ratio " << ratio
                                                   << " rect " << rect.x() << "," << rect.width();
                        ++compared;
                    }
                    const QRectF tall(0, 0, rect.width(), 1e6);
                    EXPECT_EQ(KeptText::boundingRect(font, tall, flags, text),
                              QFontMetricsF(font).boundingRect(tall, flags, text));
                    EXPECT_EQ(KeptText::elided(font, text, Qt::ElideRight, rect.width()),
                              QFontMetricsF(font).elidedText(text, Qt::ElideRight, rect.width()));
                    EXPECT_EQ(KeptText::advance(font, text), QFontMetricsF(font).horizontalAdvance(text));
                }
    EXPECT_EQ(compared, 2 * 6 * 3 * 7 * 2);
    // A string drawn at a point from kept glyphs, left of the device's origin too.
    for (double ratio : {1.0, 2.0})
        for (const QString& text : texts)
            for (double x : {3.0, 4.37, -2.61}) {
                QImage expected(QSize(260, 40) * ratio, QImage::Format_ARGB32_Premultiplied);
                expected.setDevicePixelRatio(ratio);
                expected.fill(Qt::white);
                QImage drawn = expected;
                for (auto [image, kept] : {std::pair{&expected, false}, std::pair{&drawn, true}}) {
                    QPainter painter(image);
                    painter.setFont(Typography::font(13, QFont::Bold));
                    painter.setPen(QColor(20, 30, 40, 200));
                    if (kept) TextDraw::drawAt(painter, QPointF(x, 20.3), text);
                    else painter.drawText(QPointF(x, 20.3), text);
                }
                EXPECT_EQ(drawn, expected) << text.toStdString() << " at " << x << " ratio " << ratio;
            }
}
