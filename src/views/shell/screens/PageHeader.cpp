#include "views/shell/screens/PageHeader.h"

#include "state/AppState.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/KeptText.h"
#include "views/components/TextDraw.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/KeyStop.h"
#include "views/shell/WorkspaceView.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace tallymere {

namespace {

constexpr double paddingX = 18, paddingTop = 14, paddingBottom = 2;
constexpr double spacing = 14, figureSpacing = 10;
constexpr double buttonWidth = 28, buttonHeight = 26, buttonRadius = 8;
const QString separator = QString(QChar(0x00B7));

QFont titleFont() {
    QFont font = Typography::font(27, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    return font;
}
QFont sizeFont() { return Typography::font(13, QFont::DemiBold); }
QFont countFont() { return Typography::font(12, QFont::Normal); }
QFont separatorFont() { return Typography::font(13, QFont::Normal); }

double advance(const QFont& font, const QString& text) { return KeptText::advance(font, text); }

} // namespace

PageHeader::PageHeader(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_revealStop(new KeyStop([this] { reveal(); }, this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_revealStop->setObjectName(QStringLiteral("reveal"));
    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &PageHeader::refresh);
    refresh();
}

QString PageHeader::countText(long long count, const char* word) {
    return QLocale::system().toString(count) + QLatin1Char(' ') + QLatin1String(word);
}

void PageHeader::refresh() {
    const AppState::NodePtr& subject = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    if (subject) {
        m_title = WorkspaceView::headerTitle(*subject);
        m_size = DisplayText::sizeText(subject->bytes(m_state.useAllocatedSize()));
        m_files = countText(subject->fileCount, "files");
        m_folders = subject->folderCount >= 1 ? countText(subject->folderCount, "folders") : QString();
    } else {
        m_title.clear();
        m_size.clear();
        m_files.clear();
        m_folders.clear();
    }
    relayout();
}

double PageHeader::baseline() const { return paddingTop + QFontMetricsF(titleFont()).ascent(); }

QSize PageHeader::sizeHint() const {
    const QFontMetricsF metrics(titleFont());
    // The button stands on the title's baseline, so the row is as deep as the title's descent.
    const double height = paddingTop + std::max(metrics.height(), buttonHeight + metrics.descent()) + paddingBottom;
    return {400, int(std::ceil(height))};
}

void PageHeader::relayout() {
    const double width = this->width();
    double figures = advance(sizeFont(), m_size) + figureSpacing + advance(separatorFont(), separator) +
                     figureSpacing + advance(countFont(), m_files);
    if (!m_folders.isEmpty())
        figures += figureSpacing + advance(separatorFont(), separator) + figureSpacing + advance(countFont(), m_folders);
    figures = std::ceil(figures);
    // Title, figures, a flexible gap and the button, 14 apart.
    const double titleRoom = std::max(width - 2 * paddingX - figures - 3 * spacing - buttonWidth, 0.0);
    m_shownTitle = KeptText::elided(titleFont(), m_title, Qt::ElideMiddle, titleRoom);
    const double titleWidth = std::min(std::ceil(KeptText::advance(titleFont(), m_shownTitle)), titleRoom);
    m_titleRect = QRectF(paddingX, paddingTop, titleWidth, QFontMetricsF(titleFont()).height());
    m_figuresLeft = m_titleRect.right() + spacing;
    m_revealRect = QRectF(width - paddingX - buttonWidth, baseline() - buttonHeight, buttonWidth, buttonHeight);
    m_revealStop->place(m_title.isEmpty() ? QRectF() : m_revealRect, buttonRadius, 0);
    update();
}

void PageHeader::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    relayout();
}

void PageHeader::paintEvent(QPaintEvent*) {
    if (m_title.isEmpty() && m_size.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Theme& t = theme();
    const double base = baseline();

    painter.setFont(titleFont());
    painter.setPen(t.text);
    TextDraw::drawAt(painter, QPointF(m_titleRect.left(), base), m_shownTitle);

    // The figures share the title's baseline.
    double x = m_figuresLeft;
    auto draw = [&](const QFont& font, const QColor& color, const QString& text) {
        painter.setFont(font);
        painter.setPen(color);
        TextDraw::drawAt(painter, QPointF(x, base), text);
        x += advance(font, text) + figureSpacing;
    };
    draw(sizeFont(), t.text, m_size);
    draw(separatorFont(), t.textTertiary, separator);
    draw(countFont(), t.textSecondary, m_files);
    if (!m_folders.isEmpty()) {
        draw(separatorFont(), t.textTertiary, separator);
        draw(countFont(), t.textSecondary, m_folders);
    }

    ShapePaint::fillRounded(painter, m_revealRect, buttonRadius, t.surface);
    ShapePaint::strokeInside(painter, m_revealRect, buttonRadius, t.stroke);
    if (m_pressed) painter.setOpacity(0.7);
    SymbolImage::draw(painter, m_revealRect, "arrow.up.forward.app", 11, QFont::DemiBold, t.textSecondary);
}

bool PageHeader::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (m_revealRect.contains(help->pos())) QToolTip::showText(help->globalPos(), QStringLiteral("Reveal in Finder"), this);
        else QToolTip::hideText();
        return true;
    }
    return ThemedWidget::event(event);
}

void PageHeader::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton && m_revealRect.contains(event->position());
    if (m_pressed) update();
    event->accept();
}

void PageHeader::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = m_pressed;
    m_pressed = false;
    update();
    if (!wasPressed || !m_revealRect.contains(event->position())) return;
    reveal();
}

void PageHeader::reveal() {
    const AppState::NodePtr& subject = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    if (subject) m_state.desktop().reveal({subject->path()});
}

} // namespace tallymere
