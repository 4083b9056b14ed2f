#pragma once
#include "views/components/ThemedWidget.h"
#include "services/InstalledApp.h"

#include <utility>

namespace tallymere {

// The footprint bar, 10 high and as wide as offered: the bundle in accent, 2 apart the support
// files in warning, each a rounded piece (radius 3) as wide as its share of bundle plus support.
class FootprintBar : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double barHeight = 10, gap = 2, radius = 3;
    explicit FootprintBar(const InstalledApp& app, QWidget* parent = nullptr);

    // Widths of the bundle and support pieces in a bar `width` wide; a total under one byte
    // counts as one, and no piece is negative.
    static std::pair<double, double> pieceWidths(std::int64_t bundle, std::int64_t support, double width);

    QSize sizeHint() const override { return {200, int(barHeight)}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::int64_t m_bundle;
    std::int64_t m_support;
};

} // namespace tallymere
