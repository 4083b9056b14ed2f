#include "views/explore/agemap/AgeBucketPanel.h"

#include "layout/PercentText.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/explore/agemap/SurfacePicture.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double panelPadding = 13;
constexpr double panelRadius = 14;
constexpr double stackSpacing = 8;
constexpr double columnSpacing = 9;
constexpr double labelWidth = 92;
constexpr double barHeight = 13;
constexpr double bytesWidth = 74;
constexpr double shareWidth = 48;
constexpr double minimumFill = 2;
// The least track worth drawing: below it the bars stop telling the buckets apart.
constexpr double minimumTrack = 80;

QFont labelFont() { return Typography::font(11, QFont::Normal); }
QFont bytesFont() { return Typography::font(11, QFont::DemiBold); }
QFont shareFont() { return Typography::font(10, QFont::Normal); }

double rowHeight() {
    return std::max({QFontMetricsF(labelFont()).height(), QFontMetricsF(bytesFont()).height(), barHeight});
}

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

// The painted rows under the caption.
class BucketRows : public QWidget {
public:
    explicit BucketRows(AgeBucketPanel& panel) : m_panel(panel) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        // The picture covers the whole widget with the panel's surface and what lies on it.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void invalidate() { m_picture.invalidate(); }
    // New buckets: their labels and tracks stay.
    void invalidateFigures() { m_picture.invalidateContent(); }
    QSize sizeHint() const override {
        const double n = static_cast<double>(m_panel.buckets().size());
        return {0, n == 0 ? 0 : int(std::ceil(n * rowHeight() + (n - 1) * stackSpacing))};
    }
    // The label, bytes and share columns whole, and a track between them.
    QSize minimumSizeHint() const override {
        const double columns = labelWidth + minimumTrack + bytesWidth + shareWidth + 3 * columnSpacing;
        return {int(std::ceil(columns)), sizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        m_picture.paint(
            painter, *this, event->region(), m_panel.theme().surface, {},
            [this](QPainter& p, std::size_t) { paintFigures(p); }, [this](QPainter& p, std::size_t) { paintLabels(p); });
        // The bars go over the kept tracks here: a gradient's colours are worked out from the
        // painter's own position on the window, which a picture apart from it cannot share. Each
        // bar is a few spans, which this thread fills itself.
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(-mapTo(&m_panel, QPoint(0, 0)));
        for (std::size_t row = 0; row < m_panel.buckets().size(); ++row) {
            const QRectF fill = m_panel.fillRect(row);
            const QColor tint = AgeBucketPanel::tint(m_panel.theme(), m_panel.buckets()[row].id);
            QLinearGradient gradient(fill.topLeft(), fill.topRight());
            gradient.setColorAt(0, tint);
            gradient.setColorAt(1, ShapePaint::withOpacity(tint, 0.55));
            QPainterPath capsule;
            capsule.addRoundedRect(fill, ShapePaint::capsuleRadius(fill), ShapePaint::capsuleRadius(fill));
            painter.fillPath(capsule, gradient);
        }
    }

private:
    // Each row's line, centred on its track.
    QRectF lineOf(std::size_t row, QPointF origin) const {
        const QRectF track = m_panel.trackRect(row);
        return {origin.x(), track.center().y() - rowHeight() / 2, double(width()), rowHeight()};
    }

    // What does not follow the buckets' bytes: the labels and the tracks.
    void paintLabels(QPainter& painter) const {
        const Theme& colors = m_panel.theme();
        const QPointF origin = mapTo(&m_panel, QPoint(0, 0));
        painter.translate(-origin);
        for (std::size_t row = 0; row < m_panel.buckets().size(); ++row) {
            const QRectF track = m_panel.trackRect(row);
            const QRectF line = lineOf(row, origin);
            TextDraw::draw(painter, QRectF(line.left(), line.top(), labelWidth, line.height()),
                           text(m_panel.buckets()[row].label), {.font = labelFont(), .color = colors.textSecondary});
            ShapePaint::fillRounded(painter, track, ShapePaint::capsuleRadius(track),
                                    ShapePaint::withOpacity(colors.background, 0.6));
        }
    }

    // The bytes and shares beside the tracks; the bars go over the tracks when painted.
    void paintFigures(QPainter& painter) const {
        const Theme& colors = m_panel.theme();
        const QPointF origin = mapTo(&m_panel, QPoint(0, 0));
        painter.translate(-origin);
        for (std::size_t row = 0; row < m_panel.buckets().size(); ++row) {
            const QRectF line = lineOf(row, origin);
            const double bytesLeft = m_panel.trackRect(row).right() + columnSpacing;
            TextDraw::draw(painter, QRectF(bytesLeft, line.top(), bytesWidth, line.height()), m_panel.bytesText(row),
                           {.font = bytesFont(), .color = colors.text, .alignment = Qt::AlignRight | Qt::AlignVCenter});
            TextDraw::draw(
                painter, QRectF(bytesLeft + bytesWidth + columnSpacing, line.top(), shareWidth, line.height()),
                m_panel.shareText(row),
                {.font = shareFont(), .color = colors.textTertiary, .alignment = Qt::AlignRight | Qt::AlignVCenter});
        }
    }

    AgeBucketPanel& m_panel;
    SurfacePicture m_picture;
};

} // namespace

AgeBucketPanel::AgeBucketPanel(QWidget* parent) : Panel(panelPadding, panelRadius, nullptr, parent) {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(int(stackSpacing));
    m_title = new SectionLabel(QStringLiteral("How old are these bytes?"), totalText());
    m_rows = new BucketRows(*this);
    stack->addWidget(m_title);
    stack->addWidget(m_rows);
    setContent(content);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void AgeBucketPanel::setBuckets(std::vector<AgeMapModel::Bucket> buckets) {
    m_buckets = std::move(buckets);
    m_title->setTrailing(totalText());
    // The panel's own card does not change: only the rows' figures are drawn again.
    static_cast<BucketRows*>(m_rows)->invalidateFigures();
    m_rows->updateGeometry();
    m_rows->setVisible(!m_buckets.empty());
    m_rows->update();
}

void AgeBucketPanel::themeChanged() {
    static_cast<BucketRows*>(m_rows)->invalidate();
    // The rows paint opaquely over the panel, so the panel's own repaint leaves them as they were:
    // they are asked for theirs.
    m_rows->update();
}

std::int64_t AgeBucketPanel::maxBucket() const {
    std::int64_t most = 1;
    for (const auto& bucket : m_buckets) most = std::max(most, bucket.bytes);
    return most;
}

std::int64_t AgeBucketPanel::total() const {
    std::int64_t sum = 0;
    for (const auto& bucket : m_buckets) sum += bucket.bytes;
    return std::max<std::int64_t>(sum, 1);
}

QString AgeBucketPanel::totalText() const { return DisplayText::sizeText(total()); }

QColor AgeBucketPanel::tint(const Theme& theme, int bucketId) {
    switch (bucketId) {
    case 0:
        return theme.success;
    case 1:
        return theme.accentSecondary;
    case 2:
        return theme.accent;
    case 3:
        return theme.warning;
    case 4:
        return ColorRules::mix(theme.warning, theme.danger, 0.5);
    default:
        return theme.danger;
    }
}

QRectF AgeBucketPanel::trackRect(std::size_t row) const {
    const QPointF origin = m_rows->mapTo(this, QPoint(0, 0));
    const double top = origin.y() + static_cast<double>(row) * (rowHeight() + stackSpacing);
    const double left = origin.x() + labelWidth + columnSpacing;
    const double right = origin.x() + m_rows->width() - shareWidth - columnSpacing - bytesWidth - columnSpacing;
    return {left, top + (rowHeight() - barHeight) / 2, std::max(right - left, 0.0), barHeight};
}

QRectF AgeBucketPanel::fillRect(std::size_t row) const {
    const QRectF track = trackRect(row);
    const double share = static_cast<double>(m_buckets[row].bytes) / static_cast<double>(maxBucket());
    return {track.left(), track.top(), std::max(minimumFill, track.width() * share), track.height()};
}

QString AgeBucketPanel::bytesText(std::size_t row) const { return DisplayText::sizeText(m_buckets[row].bytes); }

QString AgeBucketPanel::shareText(std::size_t row) const {
    return QString::fromStdString(
        percentText(static_cast<double>(m_buckets[row].bytes) / static_cast<double>(total())));
}

} // namespace tallymere
