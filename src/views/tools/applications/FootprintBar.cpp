#include "views/tools/applications/FootprintBar.h"

#include "views/components/canvas/ShapePaint.h"
#include "views/tools/applications/AppsText.h"

#include <QPainter>

#include <algorithm>

namespace tallymere {

FootprintBar::FootprintBar(const InstalledApp& app, QWidget* parent)
    : ThemedWidget(parent), m_bundle(app.size), m_support(AppsText::leftoverTotal(app)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(int(barHeight));
}

std::pair<double, double> FootprintBar::pieceWidths(std::int64_t bundle, std::int64_t support, double width) {
    const double total = std::max(double(bundle) + double(support), 1.0);
    return {std::max(width * double(bundle) / total, 0.0), std::max(width * double(support) / total, 0.0)};
}

void FootprintBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const auto [bundle, support] = pieceWidths(m_bundle, m_support, width());
    if (bundle > 0) ShapePaint::fillRounded(painter, QRectF(0, 0, bundle, barHeight), radius, theme().accent);
    if (support > 0)
        ShapePaint::fillRounded(painter, QRectF(bundle + gap, 0, support, barHeight), radius, theme().warning);
}

} // namespace tallymere
