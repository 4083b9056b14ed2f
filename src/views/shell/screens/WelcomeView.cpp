#include "views/shell/screens/WelcomeView.h"

#include "state/AppState.h"
#include "platform/UserFolders.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/KeyStop.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {

constexpr double edgeMargin = 20;
constexpr double subtitleGap = 14, buttonsGap = 24, galleryGap = 34, promptGap = 28;
constexpr double buttonSpacing = 9;
constexpr double fullDiskWidth = 168, homeWidth = 136, folderWidth = 150;
constexpr int galleryColumns = 4;
constexpr double gallerySpacing = 10;
constexpr double tilePadding = 11, tileSpacing = 7, tileRadius = 11, tileSymbolSize = 13;
constexpr double headlineLineSpacing = 2;
constexpr double promptPadX = 12, promptPadY = 7, promptSpacing = 7;

const QString headline = QStringLiteral("See exactly where\nyour storage went.");
const QString subtitle = QStringLiteral("Eight ways to read the same bytes. Everything stays on this Mac.");
const QString promptText = QStringLiteral("Grant Full Disk Access for a complete scan");

QFont headlineFont() {
    QFont font = Typography::font(44, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -1);
    return font;
}
QFont subtitleFont() { return Typography::font(14, QFont::Normal); }
QFont tileFont() { return Typography::font(11.5, QFont::DemiBold); }
QFont promptFont() { return Typography::font(11.5, QFont::Medium); }

double headlineHeight() {
    const QFontMetricsF metrics(headlineFont());
    return 2 * metrics.height() + headlineLineSpacing;
}

double tileHeight() {
    return 2 * tilePadding + SymbolImage::size(tileSymbolSize).height() + tileSpacing + QFontMetricsF(tileFont()).height();
}

QSizeF promptSize() {
    const double content = SymbolImage::size(10).width() + promptSpacing +
                           QFontMetricsF(promptFont()).horizontalAdvance(promptText) + promptSpacing +
                           SymbolImage::size(8).width();
    const double height = std::max(SymbolImage::size(10).height(), QFontMetricsF(promptFont()).height());
    return {std::ceil(content + 2 * promptPadX), std::ceil(height + 2 * promptPadY)};
}

} // namespace

WelcomeView::WelcomeView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_fullDisk(new ActionButton(QStringLiteral("Scan Full Mac"), "externaldrive.fill", true, false,
                                  [this] { m_state.scan(ScanTarget::fullDisk()); }, this)),
      m_home(new ActionButton(QStringLiteral("Scan Home"), "house.fill", false, false,
                              // The home folder as it is at the moment of the press.
                              [this] { m_state.scan(ScanTarget::home(UserFolders::home())); }, this)),
      m_folder(new ActionButton(QStringLiteral("Choose Folder"), "folder.fill", false, false,
                                [this] { m_state.chooseFolder(); }, this)),
      m_promptStop(new KeyStop([this] { promptPressed(); }, this)) {
    m_promptStop->setObjectName(QStringLiteral("prompt"));
    // Whether every folder can be read is asked again whenever the store changes what it shows.
    for (auto signal : {&AppState::bannerChanged, &AppState::volumesChanged, &AppState::recentsChanged,
                        &AppState::isScanningChanged, &AppState::themeIDChanged})
        connect(&m_state, signal, this, &WelcomeView::relayout);
    relayout();
}

double WelcomeView::contentHeight() const {
    const double rows = std::ceil(9.0 / galleryColumns);
    double height = headlineHeight() + subtitleGap + QFontMetricsF(subtitleFont()).height() + buttonsGap +
                    m_fullDisk->sizeHint().height() + galleryGap + rows * tileHeight() + (rows - 1) * gallerySpacing;
    if (m_showsPrompt) height += promptGap + promptSize().height();
    return height;
}

QSize WelcomeView::sizeHint() const {
    return {int(columnWidth + 2 * edgeMargin), int(std::ceil(contentHeight() + 2 * edgeMargin))};
}

void WelcomeView::relayout() {
    m_showsPrompt = !m_state.hasFullDiskAccess();
    const double height = contentHeight();
    const double left = std::round((width() - columnWidth) / 2);
    const double top = std::round(std::max(edgeMargin, (this->height() - height) / 2));
    m_column = QRectF(left, top, columnWidth, height);

    double y = top;
    m_headline = QRectF(left, y, columnWidth, headlineHeight());
    y = m_headline.bottom() + subtitleGap;
    m_subtitle = QRectF(left, y, columnWidth, QFontMetricsF(subtitleFont()).height());
    y = m_subtitle.bottom() + buttonsGap;
    const int buttonHeight = m_fullDisk->sizeHint().height();
    double x = left;
    for (auto [button, w] : {std::pair{m_fullDisk, fullDiskWidth}, {m_home, homeWidth}, {m_folder, folderWidth}}) {
        button->setGeometry(int(x), int(y), int(w), buttonHeight);
        x += w + buttonSpacing;
    }
    y += buttonHeight + galleryGap;

    m_tiles.clear();
    const double tileWidth = (columnWidth - (galleryColumns - 1) * gallerySpacing) / galleryColumns;
    for (int i = 0; i < 9; ++i) {
        const int row = i / galleryColumns, col = i % galleryColumns;
        m_tiles.emplace_back(left + col * (tileWidth + gallerySpacing), y + row * (tileHeight() + gallerySpacing),
                             tileWidth, tileHeight());
    }
    y = m_tiles.back().bottom();
    m_prompt = m_showsPrompt ? QRectF(QPointF(left, y + promptGap), promptSize()) : QRectF();
    m_promptStop->place(m_prompt, ShapePaint::capsuleRadius(m_prompt), 0);
    update();
}

void WelcomeView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    relayout();
}

void WelcomeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Theme& t = theme();

    painter.setPen(t.text);
    painter.setFont(headlineFont());
    const QFontMetricsF headlineMetrics(headlineFont());
    const QStringList lines = headline.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(m_headline.left(),
                                 m_headline.top() + headlineMetrics.ascent() + i * (headlineMetrics.height() + headlineLineSpacing)),
                         lines[i]);
    painter.setFont(subtitleFont());
    painter.setPen(t.textSecondary);
    painter.drawText(m_subtitle, Qt::AlignLeft | Qt::AlignVCenter, subtitle);

    const QSizeF symbol = SymbolImage::size(tileSymbolSize);
    const QFontMetricsF tileMetrics(tileFont());
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        const QRectF& tile = m_tiles[i];
        const VizMode mode = VizModes::all[i];
        const QColor tint = t.ramp[i % t.ramp.size()];
        ShapePaint::fillRounded(painter, tile, tileRadius, ShapePaint::withOpacity(tint, t.isDark ? 0.3 : 0.42));
        const QRectF icon(QPointF(tile.left() + tilePadding, tile.top() + tilePadding), symbol);
        SymbolImage::draw(painter, icon, VizModes::symbol(mode), tileSymbolSize, QFont::Medium,
                          ShapePaint::withOpacity(t.text, 0.75));
        painter.setFont(tileFont());
        painter.setPen(t.text);
        const QRectF title(tile.left() + tilePadding, icon.bottom() + tileSpacing, tile.width() - 2 * tilePadding,
                           tileMetrics.height());
        painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
                         tileMetrics.elidedText(QString::fromLatin1(VizModes::title(mode).data()), Qt::ElideRight,
                                                title.width()));
    }

    if (m_showsPrompt) {
        const double radius = ShapePaint::capsuleRadius(m_prompt);
        ShapePaint::fillRounded(painter, m_prompt, radius, t.surface);
        ShapePaint::strokeInside(painter, m_prompt, radius, t.stroke);
        if (m_promptPressed) painter.setOpacity(0.7);
        const double middle = m_prompt.center().y();
        const QSizeF lock = SymbolImage::size(10), arrow = SymbolImage::size(8);
        double x = m_prompt.left() + promptPadX;
        SymbolImage::draw(painter, QRectF(QPointF(x, middle - lock.height() / 2), lock), "lock.open", 10,
                          QFont::DemiBold, t.textSecondary);
        x += lock.width() + promptSpacing;
        painter.setFont(promptFont());
        painter.setPen(t.textSecondary);
        const double textWidth = QFontMetricsF(promptFont()).horizontalAdvance(promptText);
        painter.drawText(QRectF(x, m_prompt.top(), textWidth + 1, m_prompt.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         promptText);
        x += textWidth + promptSpacing;
        SymbolImage::draw(painter, QRectF(QPointF(x, middle - arrow.height() / 2), arrow), "arrow.up.right", 8,
                          QFont::Bold, t.textSecondary);
    }
}

void WelcomeView::mousePressEvent(QMouseEvent* event) {
    m_promptPressed = m_showsPrompt && event->button() == Qt::LeftButton && m_prompt.contains(event->position());
    if (m_promptPressed) update();
    event->accept();
}

void WelcomeView::mouseReleaseEvent(QMouseEvent* event) {
    const bool pressed = m_promptPressed;
    m_promptPressed = false;
    update();
    if (pressed && m_prompt.contains(event->position())) promptPressed();
}

void WelcomeView::promptPressed() {
    // There is no settings page that grants this here; the store explains what it takes.
    m_state.explainFullDiskAccess();
}

} // namespace tallymere
