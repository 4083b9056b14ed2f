#include "views/shell/cleanup/CleanupBar.h"

#include "core/DiskInfo.h"
#include "style/DisplayText.h"
#include "style/Motion.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/ClickableWidget.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/shell/cleanup/CleanupQueueList.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVariantAnimation>
#include <QVBoxLayout>

#include <cmath>

namespace tallymere {

namespace {

// One element of a row of symbols and texts, each drawn centred on the row's middle line.
struct Piece {
    QString text;
    std::string_view symbol;
    QFont font;
    double symbolSize = 0;
    QFont::Weight weight = QFont::Normal;
    QColor color;

    static Piece label(QString text, QFont font, QColor color) {
        return {std::move(text), {}, std::move(font), 0, QFont::Normal, std::move(color)};
    }
    static Piece icon(std::string_view symbol, double size, QFont::Weight weight, QColor color) {
        return {{}, symbol, {}, size, weight, std::move(color)};
    }
    QSizeF size() const {
        if (!symbol.empty()) return SymbolImage::size(symbolSize);
        const QFontMetricsF metrics(font);
        return {metrics.horizontalAdvance(text), metrics.height()};
    }
};

QSizeF measure(const std::vector<Piece>& pieces, double spacing) {
    double width = 0, height = 0;
    for (const Piece& piece : pieces) {
        const QSizeF size = piece.size();
        width += size.width();
        height = std::max(height, size.height());
    }
    if (!pieces.empty()) width += spacing * static_cast<double>(pieces.size() - 1);
    return {width, height};
}

void draw(QPainter& painter, QPointF origin, double rowHeight, const std::vector<Piece>& pieces, double spacing) {
    double x = origin.x();
    const double middle = origin.y() + rowHeight / 2;
    for (const Piece& piece : pieces) {
        const QSizeF size = piece.size();
        const QRectF box(x, middle - size.height() / 2, size.width(), size.height());
        if (!piece.symbol.empty()) {
            SymbolImage::draw(painter, box, piece.symbol, piece.symbolSize, piece.weight, piece.color);
        } else {
            painter.setFont(piece.font);
            painter.setPen(piece.color);
            painter.drawText(box.adjusted(0, 0, 1, 0), Qt::AlignLeft | Qt::AlignVCenter, piece.text);
        }
        x += size.width() + spacing;
    }
}

// The disclosure control: a trash badge, the count over the bytes it reclaims, and a chevron.
class Disclosure : public ClickableWidget {
public:
    Disclosure(std::function<void()> action, QWidget* parent) : ClickableWidget(std::move(action), parent) {
        // No outline of its own: the ring goes round it, in the bar's padding.
        FocusRing::drawOutside(this, 4, 8);
    }
    void setTexts(QString count, QString reclaims, bool open) {
        m_count = std::move(count);
        m_reclaims = std::move(reclaims);
        m_open = open;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QSizeF texts = textSize();
        const double width = badge + gap + texts.width() + gap + SymbolImage::size(9).width();
        return {int(std::ceil(width)), int(std::ceil(std::max(badge, texts.height())))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isPressed()) painter.setOpacity(pressedOpacity);
        const Theme& t = theme();
        const QRectF circle(0, (height() - badge) / 2, badge, badge);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ShapePaint::withOpacity(t.danger, 0.18));
        painter.drawEllipse(circle);
        const QSizeF icon = SymbolImage::size(11);
        SymbolImage::draw(painter, QRectF(circle.center() - QPointF(icon.width() / 2, icon.height() / 2), icon),
                          "trash.fill", 11, QFont::DemiBold, t.danger);

        const QSizeF texts = textSize();
        const double left = badge + gap;
        const double top = (height() - texts.height()) / 2;
        const QFontMetricsF countMetrics(countFont());
        painter.setFont(countFont());
        painter.setPen(t.text);
        painter.drawText(QRectF(left, top, texts.width() + 1, countMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         m_count);
        painter.setFont(reclaimFont());
        painter.setPen(t.success);
        const QRectF reclaimBox(left, top + countMetrics.height(), texts.width() + 1,
                                QFontMetricsF(reclaimFont()).height());
        painter.drawText(reclaimBox, Qt::AlignLeft | Qt::AlignVCenter, m_reclaims);

        const QSizeF chevron = SymbolImage::size(9);
        SymbolImage::draw(painter,
                          QRectF(left + texts.width() + gap, (height() - chevron.height()) / 2, chevron.width(),
                                 chevron.height()),
                          m_open ? "chevron.down" : "chevron.up", 9, QFont::Bold, t.textTertiary);
    }

private:
    static constexpr double badge = 26;
    static constexpr double gap = 7;
    static QFont countFont() { return Typography::font(12, QFont::DemiBold); }
    static QFont reclaimFont() { return Typography::font(10.5, QFont::Normal); }
    QSizeF textSize() const {
        const QFontMetricsF count(countFont()), reclaim(reclaimFont());
        return {std::max(count.horizontalAdvance(m_count), reclaim.horizontalAdvance(m_reclaims)),
                count.height() + reclaim.height()};
    }
    QString m_count;
    QString m_reclaims;
    bool m_open = false;
};

// A capsule of pieces: the free-space pill and the "Move to Trash" button.
class Capsule : public ClickableWidget {
public:
    Capsule(double horizontal, double vertical, double spacing, QWidget* parent)
        : ClickableWidget({}, parent), m_horizontal(horizontal), m_vertical(vertical), m_spacing(spacing) {
        // On the capsule's own fill the ring would hardly show: it goes round it.
        FocusRing::drawOutside(this, 3, -1);
    }
    void setPieces(std::vector<Piece> pieces, QColor fill) {
        m_pieces = std::move(pieces);
        m_fill = std::move(fill);
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QSizeF content = measure(m_pieces, m_spacing);
        return {int(std::ceil(content.width() + 2 * m_horizontal)), int(std::ceil(content.height() + 2 * m_vertical))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area(rect());
        // Faded while it cannot be pressed (the items are moving).
        if (!isEnabled()) painter.setOpacity(pressedOpacity);
        ShapePaint::fillRounded(painter, area, ShapePaint::capsuleRadius(area), m_fill);
        if (isPressed()) painter.setOpacity(pressedOpacity);
        const QSizeF content = measure(m_pieces, m_spacing);
        draw(painter, QPointF((width() - content.width()) / 2, 0), height(), m_pieces, m_spacing);
    }

private:
    double m_horizontal, m_vertical, m_spacing;
    std::vector<Piece> m_pieces;
    QColor m_fill;
};

// "Clear": a plain text button.
class TextButton : public ClickableWidget {
public:
    TextButton(QString title, QWidget* parent) : ClickableWidget({}, parent), m_title(std::move(title)) {
        FocusRing::drawOutside(this, FocusRing::textOutset, 4);
    }
    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return {int(std::ceil(metrics.horizontalAdvance(m_title))), int(std::ceil(metrics.height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (isPressed()) painter.setOpacity(pressedOpacity);
        painter.setFont(font());
        painter.setPen(theme().textSecondary);
        painter.drawText(QRectF(rect()).adjusted(0, 0, 1, 0), Qt::AlignCenter, m_title);
    }

private:
    static QFont font() { return Typography::font(11.5, QFont::Medium); }
    QString m_title;
};

QString itemWord(std::size_t count) { return count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"); }

} // namespace

CleanupBar::CleanupBar(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_list(new CleanupQueueList(state, this)),
      m_disclosure(new Disclosure([this] { toggleExpanded(); }, this)), m_pill(new Capsule(9, 5, 7, this)),
      m_clear(new TextButton(QStringLiteral("Clear"), this)), m_trash(new Capsule(14, 8, 6, this)),
      m_spring(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The pill only tells: it takes neither the pointer nor the keyboard.
    m_pill->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pill->setFocusPolicy(Qt::NoFocus);
    m_disclosure->setObjectName(QStringLiteral("disclosure"));
    m_clear->setObjectName(QStringLiteral("clear"));
    m_trash->setObjectName(QStringLiteral("trash"));
    m_clear->setAction([this] { m_state.setQueue({}); });
    m_trash->setAction([this] { confirmMove(); });

    auto* summary = new QHBoxLayout;
    summary->setContentsMargins(14, 9, 14, 9);
    summary->setSpacing(12);
    summary->addWidget(m_disclosure);
    summary->addWidget(m_pill);
    summary->addSpacing(8 - 12); // the spacer's own minimum is 8, between the two 12s around it
    summary->addStretch(1);
    summary->addWidget(m_clear);
    summary->addWidget(m_trash);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_list);
    column->addLayout(summary);
    m_list->setFixedHeight(0);
    m_list->hide();

    m_spring->setObjectName(QStringLiteral("listSpring"));
    m_spring->setStartValue(0.0);
    m_spring->setEndValue(1.0);
    const int settleMs = Motion::springSettleMs(springResponse, springDamping);
    m_spring->setDuration(settleMs);
    connect(m_spring, &QVariantAnimation::valueChanged, this, [this, settleMs](const QVariant& value) {
        const double seconds = value.toDouble() * settleMs / 1000.0;
        const double travelled = Motion::springPosition(seconds, springResponse, springDamping);
        setListHeight(m_springFrom + (m_springTo - m_springFrom) * travelled);
    });
    connect(m_spring, &QVariantAnimation::finished, this, [this] {
        setListHeight(m_springTo);
        if (!m_expanded) {
            m_list->hide();
            emit heightChanged();
        }
    });

    for (auto signal : {&AppState::queueChanged, &AppState::volumesChanged, &AppState::useAllocatedSizeChanged,
                        &AppState::isEmptyingChanged})
        connect(&m_state, signal, this, &CleanupBar::refresh);
    refresh();
}

std::optional<CleanupBar::Reclaim> CleanupBar::reclaim(const std::vector<VolumeInfo>& volumes,
                                                       std::int64_t queueTotal) {
    if (volumes.empty() || volumes.front().total < 1) return std::nullopt;
    const VolumeInfo& volume = volumes.front();
    return Reclaim{volume.available, std::min(volume.available + queueTotal, volume.total)};
}

QString CleanupBar::countText(std::size_t count) {
    return QString::number(count) + itemWord(count) + QStringLiteral(" staged");
}

QString CleanupBar::confirmationTitle(std::size_t count) {
    return QStringLiteral("Move ") + QString::number(count) + itemWord(count) + QStringLiteral(" to the Trash?");
}

QString CleanupBar::confirmationMessage(std::int64_t queueTotal) {
    return QStringLiteral("Frees ") + DisplayText::sizeText(queueTotal) +
           QStringLiteral(" once the Trash is emptied. Nothing is deleted permanently.");
}

void CleanupBar::refresh() {
    const Theme& t = theme();
    const std::int64_t total = m_state.queueTotal();
    static_cast<Disclosure*>(m_disclosure)
        ->setTexts(countText(m_state.queue().size()), QStringLiteral("Reclaims ") + DisplayText::sizeText(total),
                   m_expanded);

    const std::optional<Reclaim> figures = reclaim(m_state.volumes(), total);
    m_pill->setVisible(figures.has_value());
    if (figures) {
        static_cast<Capsule*>(m_pill)->setPieces(
            {Piece::label(DisplayText::sizeText(figures->now), Typography::font(10.5, QFont::Medium), t.textSecondary),
             Piece::icon("arrow.right", 8, QFont::Bold, t.textTertiary),
             Piece::label(DisplayText::sizeText(figures->after), Typography::font(11.5, QFont::Bold), t.success),
             Piece::label(QStringLiteral("free"), Typography::font(9.5, QFont::Normal), t.textTertiary)},
            ShapePaint::withOpacity(t.success, 0.1));
    }
    // The label is white on the danger fill in every theme.
    static_cast<Capsule*>(m_trash)->setPieces(
        {Piece::icon("trash.fill", 11, QFont::Bold, Qt::white),
         Piece::label(QStringLiteral("Move to Trash"), Typography::font(12, QFont::Bold), Qt::white)},
        t.danger);
    // While the items move the count goes down as they leave; they are not asked about again.
    m_trash->setEnabled(!m_state.isEmptying());

    if (m_state.queue().empty() && m_expanded) reset();
    // An open list follows the queue's length at once.
    if (m_expanded && m_spring->state() != QAbstractAnimation::Running) setListHeight(m_list->naturalHeight());
    update();
}

void CleanupBar::toggleExpanded() {
    m_expanded = !m_expanded;
    refresh();
    m_spring->stop();
    m_springFrom = m_list->isVisible() ? m_list->height() : 0;
    m_springTo = m_expanded ? m_list->naturalHeight() : 0;
    m_list->show();
    if (!m_animated) {
        setListHeight(m_springTo);
        if (!m_expanded) m_list->hide();
        emit heightChanged();
        return;
    }
    m_spring->start();
}

void CleanupBar::setListHeight(double height) {
    const int shown = std::max(0, int(std::lround(height)));
    if (shown == m_list->height() && m_list->minimumHeight() == shown) return;
    m_list->setFixedHeight(shown);
    emit heightChanged();
}

void CleanupBar::reset() {
    m_spring->stop();
    m_expanded = false;
    m_list->hide();
    m_list->setFixedHeight(0);
    static_cast<Disclosure*>(m_disclosure)
        ->setTexts(countText(m_state.queue().size()), QStringLiteral("Reclaims ") +
                   DisplayText::sizeText(m_state.queueTotal()), false);
    emit heightChanged();
}

void CleanupBar::confirmMove() {
    if (m_confirmation || m_state.queue().empty() || m_state.isEmptying()) return;
    // Counted from the queue as it stands when the question is asked.
    auto* box = new QMessageBox(QMessageBox::Warning, confirmationTitle(m_state.queue().size()),
                                confirmationTitle(m_state.queue().size()), QMessageBox::NoButton, this);
    box->setInformativeText(confirmationMessage(m_state.queueTotal()));
    box->setTextFormat(Qt::PlainText);
    QPushButton* move = box->addButton(QStringLiteral("Move to Trash"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, move] {
        const bool confirmed = box->clickedButton() == move;
        m_confirmation = nullptr;
        if (confirmed) m_state.emptyQueue();
    });
    m_confirmation = box;
    box->open();
}

QMessageBox* CleanupBar::confirmation() const { return m_confirmation.data(); }

bool CleanupBar::isConfirming() const { return !m_confirmation.isNull(); }

void CleanupBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), theme().surface);
}

} // namespace tallymere
