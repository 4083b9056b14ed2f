#include "views/explore/agemap/HeatMapPanel.h"

#include "style/DisplayText.h"
#include "views/components/controls/Chip.h"
#include "views/components/controls/SectionLabel.h"
#include "views/explore/agemap/HeatMapGrid.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QVBoxLayout>

#include <cmath>

namespace tallymere {

namespace {
constexpr double panelPadding = 13;
constexpr double panelRadius = 14;
constexpr int stackSpacing = 8;
constexpr int headerSpacing = 8;
} // namespace

HeatMapPanel::HeatMapPanel(QWidget* parent)
    : Panel(panelPadding, panelRadius, nullptr, parent), m_grid(new HeatMapGrid),
      m_chip(new Chip(QString(), std::string("calendar"))) {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(stackSpacing);

    auto* header = new QWidget;
    header->setFixedHeight(int(std::ceil(Chip::measure(QStringLiteral("0"), true).height())));
    auto* line = new QHBoxLayout(header);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(headerSpacing);
    auto* title = new SectionLabel(QStringLiteral("Bytes by last-modified month"));
    // Without a note the caption is only as wide as its text, so the chip follows it.
    title->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    line->addWidget(title);
    line->addWidget(m_chip);
    line->addStretch(1);
    m_chip->hide();

    stack->addWidget(header);
    stack->addWidget(m_grid, 1);
    setContent(content);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(m_grid, &HeatMapGrid::hoverCellChanged, this, &HeatMapPanel::showHoverCell);
}

QString HeatMapPanel::chipText() const {
    const auto& cell = m_grid->hoverCell();
    if (!cell) return {};
    const QString separator = QStringLiteral(" \u00B7 ");
    return HeatMapGrid::monthAbbreviation(cell->month) + QLatin1Char(' ') + QString::number(cell->year) + separator +
           DisplayText::sizeText(cell->bytes) + separator + QLocale::system().toString(cell->files) +
           QStringLiteral(" files");
}

void HeatMapPanel::themeChanged() { m_chip->setTint(theme().accent); }

void HeatMapPanel::showHoverCell() {
    m_chip->setText(chipText());
    m_chip->setTint(theme().accent);
    m_chip->setVisible(m_grid->hoverCell().has_value());
}

} // namespace tallymere
