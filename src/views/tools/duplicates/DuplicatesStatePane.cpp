#include "views/tools/duplicates/DuplicatesStatePane.h"

#include "core/ByteFormat.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>

namespace tallymere {

namespace {

constexpr double runningSpacing = 14;
constexpr double emptySpacing = 12;
constexpr double subtitleWidth = 380;

QFont stageFont() { return Typography::font(12.5, QFont::Medium); }
QFont countFont() { return Typography::font(11, QFont::Normal); }
QFont emptyTitleFont() { return Typography::font(18, QFont::DemiBold); }
QFont emptySubtitleFont() { return Typography::font(12, QFont::Normal); }

QString count(std::int64_t n) { return QLocale::system().toString(static_cast<qlonglong>(n)); }

QRectF subtitleBounds(const QString& text) {
    return QFontMetricsF(emptySubtitleFont())
        .boundingRect(QRectF(0, 0, subtitleWidth, 1000), Qt::AlignHCenter | Qt::TextWordWrap, text);
}

} // namespace

DuplicatesStatePane::DuplicatesStatePane(QWidget* parent) : ThemedWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void DuplicatesStatePane::showRunning(const QString& stage, std::int64_t done, std::int64_t total) {
    m_running = true;
    // The search writes the figure in its stage ("Sampling N candidates", N its total) by the C
    // library's locale, which groups nothing in the plain C locales; the window groups as the
    // desktop does. The figure is written here as the count under the bar writes the same total.
    m_stage = stage;
    if (total > 0) {
        const QString figure = QRegularExpression::escape(QString::fromStdString(ByteFormat::count(total)));
        m_stage.replace(QRegularExpression(QStringLiteral("(?<![\\d.,])%1(?![\\d.,])").arg(figure)), count(total));
    }
    m_done = done;
    m_total = total;
    update();
}

void DuplicatesStatePane::showEmpty(bool hasTree) {
    m_running = false;
    m_hasTree = hasTree;
    update();
}

QString DuplicatesStatePane::title() const {
    if (m_running) return m_stage;
    return m_hasTree ? QStringLiteral("No duplicates found yet") : QStringLiteral("Run a scan first");
}

QString DuplicatesStatePane::subtitle() const {
    if (m_running) return count(m_done) + QStringLiteral(" of ") + count(m_total);
    return m_hasTree ? QStringLiteral("Hashes are compared in full, so a match is a real match — never a guess.")
                     : QStringLiteral("Duplicate detection works on whatever you last scanned.");
}

double DuplicatesStatePane::fraction() const {
    return m_total >= 1 ? std::clamp(double(m_done) / double(m_total), 0.0, 1.0) : 0.0;
}

QRectF DuplicatesStatePane::progressBarRect() const {
    const double stack = progressHeight + runningSpacing + QFontMetricsF(stageFont()).height() + runningSpacing +
                         QFontMetricsF(countFont()).height();
    return {(width() - progressWidth) / 2, (height() - stack) / 2, progressWidth, progressHeight};
}

QRectF DuplicatesStatePane::tileRect() const {
    const double stack = tileSize + emptySpacing + 4 + QFontMetricsF(emptyTitleFont()).height() + emptySpacing +
                         subtitleBounds(subtitle()).height();
    return {(width() - tileSize) / 2, (height() - stack) / 2, tileSize, tileSize};
}

void DuplicatesStatePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Theme& t = theme();
    if (m_running) {
        const QRectF bar = progressBarRect();
        ShapePaint::fillRounded(painter, bar, progressHeight / 2, ShapePaint::withOpacity(t.accent, 0.18));
        if (fraction() > 0)
            ShapePaint::fillRounded(painter, QRectF(bar.left(), bar.top(), bar.width() * fraction(), bar.height()),
                                    progressHeight / 2, t.accent);
        double y = bar.bottom() + runningSpacing;
        const double stageHeight = QFontMetricsF(stageFont()).height();
        painter.setFont(stageFont());
        painter.setPen(t.text);
        painter.drawText(QRectF(0, y, width(), stageHeight), Qt::AlignCenter | Qt::TextSingleLine, m_stage);
        y += stageHeight + runningSpacing;
        TextDraw::Style counts{countFont(), t.textTertiary, Qt::AlignCenter};
        counts.monospacedDigits = true;
        TextDraw::draw(painter, QRectF(0, y, width(), QFontMetricsF(countFont()).height()), subtitle(), counts);
        return;
    }
    const QRectF tile = tileRect();
    ShapePaint::fillRounded(painter, tile, 16, ShapePaint::withOpacity(t.ramp[6], t.isDark ? 0.22 : 0.34));
    SymbolImage::draw(painter, tile, "doc.on.doc", 23, QFont::Normal, ShapePaint::withOpacity(t.text, 0.7));
    double y = tile.bottom() + emptySpacing + 4;
    const double titleHeight = QFontMetricsF(emptyTitleFont()).height();
    painter.setFont(emptyTitleFont());
    painter.setPen(t.text);
    painter.drawText(QRectF(0, y, width(), titleHeight), Qt::AlignCenter | Qt::TextSingleLine, title());
    y += titleHeight + emptySpacing;
    const QRectF bounds = subtitleBounds(subtitle());
    painter.setFont(emptySubtitleFont());
    painter.setPen(t.textSecondary);
    painter.drawText(QRectF((width() - subtitleWidth) / 2, y, subtitleWidth, bounds.height()),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, subtitle());
}

} // namespace tallymere
