#include "views/shell/screens/ScanningView.h"

#include "state/AppState.h"
#include "base/Utf8.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double titleGap = 4, countersGap = 26, barGap = 26, pathGap = 12, stopGap = 22;
constexpr double counterSpacing = 34, counterLineSpacing = 2;
constexpr double barHeight = 4, runnerShare = 0.28;
constexpr double stopWidth = 104;

QFont captionFont() {
    QFont font = Typography::font(11, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    return font;
}
QFont titleFont() {
    QFont font = Typography::font(34, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.6);
    return font;
}
constexpr double valueTracking = -0.6;
QFont valueFont() { return Typography::font(30, QFont::DemiBold); }
QFont metricCaptionFont() {
    QFont font = Typography::font(9, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    return font;
}
// The path line is set in the system's monospaced face, not the program's own.
QFont pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(qRound(10.5));
    font.setWeight(QFont::Normal);
    return font;
}

// Digits take equal cells (the widest digit's advance), so a counter does not jitter as it counts.
double digitCell(const QFontMetricsF& metrics) {
    double cell = 0;
    for (char d = '0'; d <= '9'; ++d) cell = std::max(cell, metrics.horizontalAdvance(QLatin1Char(d)));
    return cell;
}
double charAdvance(const QFontMetricsF& metrics, QChar c, double cell) {
    return (c.isDigit() ? cell : metrics.horizontalAdvance(c)) + valueTracking;
}
double tabularWidth(const QString& text) {
    const QFontMetricsF metrics(valueFont());
    const double cell = digitCell(metrics);
    double width = 0;
    for (QChar c : text) width += charAdvance(metrics, c, cell);
    return width;
}


double titleHeight(const QString& text, double width) {
    if (text.isEmpty()) return QFontMetricsF(titleFont()).height();
    QTextLayout layout(text, titleFont());
    TextDraw::breakLines(layout, width);
    return layout.boundingRect().height();
}

// The title as shown within `room` of height: whole when it fits, else as many lines as fit (one
// at least), the last one ending in an ellipsis, so a very long name cannot push the counters and
// "Stop" out of the pane.
QString titleWithin(const QString& text, double width, double room) {
    if (text.isEmpty()) return text;
    QTextLayout layout(text, titleFont());
    TextDraw::breakLines(layout, width);
    if (layout.boundingRect().height() <= room) return text;
    int kept = 1;
    while (kept < layout.lineCount() && layout.lineAt(kept).rect().bottom() <= room) ++kept;
    const QTextLine last = layout.lineAt(kept - 1);
    const QString rest = text.mid(last.textStart());
    return text.left(last.textStart()) +
           QFontMetricsF(titleFont()).elidedText(rest, Qt::ElideRight, width * 0.98);
}

// Ease-in-out over one leg of the sweep.
double easeInOut(double t) { return t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2; }

} // namespace

ScanningView::ScanningView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_stop(new ActionButton(QStringLiteral("Stop"), "stop.fill", false, false, [this] { m_state.cancelScan(); }, this)),
      m_sweep(new QVariantAnimation(this)) {
    // One loop is the way out and back; the curve is applied to each leg.
    m_sweep->setStartValue(0.0);
    m_sweep->setEndValue(1.0);
    m_sweep->setDuration(2 * sweepMs);
    m_sweep->setLoopCount(-1);
    connect(m_sweep, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_sweepPhase = value.toDouble();
        update(m_bar.toAlignedRect().adjusted(-1, -1, 1, 1));
    });
    for (auto signal : {&AppState::scanTargetChanged, &AppState::scannedFilesChanged, &AppState::scannedBytesChanged,
                        &AppState::scanningPathChanged})
        connect(&m_state, signal, this, &ScanningView::refresh);
    refresh();
}

QString ScanningView::titleText() const {
    const auto& target = m_state.scanTarget();
    return target ? TextDraw::oneLine(QString::fromStdString(target->title)) : QString();
}

QString ScanningView::filesText() const {
    // Grouped as the desktop's locale groups numbers, never shortened.
    return QLocale::system().toString(static_cast<qlonglong>(m_state.scannedFiles()));
}

QString ScanningView::bytesText() const { return DisplayText::sizeText(m_state.scannedBytes()); }

double ScanningView::sweepOffset() const {
    const double leg = m_sweepPhase < 0.5 ? m_sweepPhase * 2 : 2 - m_sweepPhase * 2;
    return (1 - runnerShare) * easeInOut(leg);
}

bool ScanningView::isSweeping() const { return m_sweep->state() == QAbstractAnimation::Running; }

void ScanningView::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    if (!isSweeping()) m_sweep->start();
}

void ScanningView::refresh() {
    // Each new figure stands at once: the store refreshes several times a second, faster than any
    // transition between two figures could finish, so one would only ever show digits half-way.
    m_shownFiles = filesText();
    m_shownBytes = bytesText();
    relayout();
}

QSize ScanningView::sizeHint() const { return {int(columnWidth) + 40, 360}; }

void ScanningView::relayout() {
    const QFontMetricsF captionMetrics(captionFont()), valueMetrics(valueFont()), smallMetrics(metricCaptionFont()),
        pathMetrics(pathFont());
    const int stopHeight = m_stop->sizeHint().height();
    const double rest = captionMetrics.height() + titleGap + countersGap + valueMetrics.height() +
                        counterLineSpacing + smallMetrics.height() + barGap + barHeight + pathGap +
                        pathMetrics.height() + stopGap + stopHeight;
    m_shownTitle = titleWithin(titleText(), columnWidth, this->height() - rest);
    const double titleLines = titleHeight(m_shownTitle, columnWidth);
    const double height = rest + titleLines;
    const double left = std::round((width() - columnWidth) / 2);
    double y = std::round(std::max(0.0, (this->height() - height) / 2));
    m_column = QRectF(left, y, columnWidth, height);
    m_caption = QRectF(left, y, columnWidth, captionMetrics.height());
    y = m_caption.bottom() + titleGap;
    m_title = QRectF(left, y, columnWidth, titleLines);
    y = m_title.bottom() + countersGap;
    // Both counters stand on one line: their captions share the bottom edge.
    const double filesWidth = std::ceil(tabularWidth(m_shownFiles));
    const double filesCaptionWidth = smallMetrics.horizontalAdvance(QStringLiteral("FILES READ"));
    m_filesValue = QRectF(left, y, filesWidth, valueMetrics.height());
    m_filesCaption = QRectF(left, m_filesValue.bottom() + counterLineSpacing, filesCaptionWidth, smallMetrics.height());
    const double bytesLeft = left + std::max(filesWidth, filesCaptionWidth) + counterSpacing;
    m_bytesValue = QRectF(bytesLeft, y, std::ceil(tabularWidth(m_shownBytes)), valueMetrics.height());
    m_bytesCaption = QRectF(bytesLeft, m_filesCaption.top(), columnWidth, smallMetrics.height());
    y = m_filesCaption.bottom() + barGap;
    m_bar = QRectF(left, y, columnWidth, barHeight);
    y = m_bar.bottom() + pathGap;
    m_path = QRectF(left, y, columnWidth, pathMetrics.height());
    m_shownPath = pathMetrics.elidedText(TextDraw::oneLine(QString::fromStdString(repairUtf8(m_state.scanningPath()))),
                                         Qt::ElideLeft, columnWidth);
    y = m_path.bottom() + stopGap;
    m_stop->setGeometry(int(left), int(y), int(stopWidth), stopHeight);
    update();
}

void ScanningView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    relayout();
}

void ScanningView::paintCounter(QPainter& painter, const QRectF& value, const QRectF& caption, const QString& text,
                                const QString& captionText) {
    const Theme& t = theme();
    const QFontMetricsF metrics(valueFont());
    const double cell = digitCell(metrics);
    const double baseline = value.top() + metrics.ascent();
    painter.setFont(valueFont());
    painter.setPen(t.text);
    // Every digit is centred in a cell of one width, so a figure keeps its place as it counts.
    double x = value.left();
    for (QChar c : text) {
        const double glyphX = c.isDigit() ? x + (cell - metrics.horizontalAdvance(c)) / 2 : x;
        painter.drawText(QPointF(glyphX, baseline), QString(c));
        x += charAdvance(metrics, c, cell);
    }
    painter.setFont(metricCaptionFont());
    painter.setPen(t.textTertiary);
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, captionText.toUpper());
}

void ScanningView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Theme& t = theme();

    painter.setFont(captionFont());
    painter.setPen(t.textTertiary);
    painter.drawText(m_caption, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Scanning"));
    painter.setPen(t.text);
    QTextLayout title(m_shownTitle, titleFont());
    TextDraw::breakLines(title, columnWidth);
    title.draw(&painter, m_title.topLeft());

    paintCounter(painter, m_filesValue, m_filesCaption, m_shownFiles, QStringLiteral("files read"));
    paintCounter(painter, m_bytesValue, m_bytesCaption, m_shownBytes, QStringLiteral("measured"));

    ShapePaint::fillRounded(painter, m_bar, barHeight / 2, t.surfaceRaised);
    // The runner stands somewhere new in almost every frame: drawn as it goes rather than kept as
    // a picture of a place it never comes back to, which would pile up with every scan.
    const QRectF runner(m_bar.left() + sweepOffset() * m_bar.width(), m_bar.top(), runnerShare * m_bar.width(),
                        m_bar.height());
    const double radius = std::min(barHeight / 2, ShapePaint::capsuleRadius(runner));
    QPainterPath runnerPath;
    runnerPath.addRoundedRect(runner, radius, radius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(runnerPath, t.accent);
    painter.restore();

    painter.setFont(pathFont());
    painter.setPen(t.textTertiary);
    painter.drawText(m_path, Qt::AlignLeft | Qt::AlignVCenter, m_shownPath);
}

} // namespace tallymere
