#include "views/shell/sidebar/SidebarCapacity.h"

#include "state/AppState.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/DonutGauge.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/controls/StatRow.h"
#include "views/components/TextDraw.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <charconv>

namespace tallymere {

SidebarCapacity::SidebarCapacity(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_label(new SectionLabel(QStringLiteral("Disk Storage"), std::nullopt, this)),
      m_gauge(new DonutGauge(0, QString(), QStringLiteral("USED"), 78, std::nullopt, this)),
      m_total(new StatRow(QStringLiteral("Total"))), m_used(new StatRow(QStringLiteral("Used"))),
      m_free(new StatRow(QStringLiteral("Free"))), m_reclaim(new QLabel(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(9);
    column->addWidget(m_label);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(m_gauge, 0, Qt::AlignVCenter);
    auto* figures = new QVBoxLayout;
    figures->setSpacing(5);
    for (StatRow* stat : {m_total, m_used, m_free}) figures->addWidget(stat);
    row->addLayout(figures, 1);
    column->addLayout(row);
    m_reclaim->setTextFormat(Qt::PlainText);
    m_reclaim->setFont(Typography::font(10, QFont::Medium));
    column->addWidget(m_reclaim);

    connect(&m_state, &AppState::volumesChanged, this, &SidebarCapacity::refresh);
    connect(&m_state, &AppState::lastReclaimChanged, this, &SidebarCapacity::refresh);
    themeChanged();
}

VolumeInfo SidebarCapacity::shownVolume(const std::vector<VolumeInfo>& volumes) {
    if (!volumes.empty()) return volumes.front();
    VolumeInfo standBy;
    standBy.name = "Macintosh HD";
    standBy.path = "/";
    standBy.total = 0;
    standBy.available = 0;
    standBy.isRoot = true;
    return standBy;
}

QString SidebarCapacity::percentText(double fraction) {
    if (fraction > 0 && fraction < 0.001) return QStringLiteral("<0.1%");
    // One decimal with "." in every locale.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, fraction * 100, std::chars_format::fixed, 1);
    QString text = QString::fromLatin1(buffer, int(result.ptr - buffer)) + QLatin1Char('%');
    text.remove(QStringLiteral(".0"));
    return text;
}

void SidebarCapacity::themeChanged() {
    QPalette palette = m_reclaim->palette();
    palette.setColor(QPalette::WindowText, theme().success);
    m_reclaim->setPalette(palette);
    refresh();
}

void SidebarCapacity::refresh() {
    const VolumeInfo volume = shownVolume(m_state.volumes());
    const std::int64_t used = std::max<std::int64_t>(volume.total - volume.available, 0);
    const double fraction = volume.total >= 1 ? double(used) / double(volume.total) : 0.0;
    m_label->setTrailing(TextDraw::oneLine(QString::fromStdString(volume.name)));
    m_gauge->setFraction(fraction);
    m_gauge->setLabel(percentText(fraction));
    m_total->setValue(DisplayText::sizeText(volume.total));
    m_used->setValue(DisplayText::sizeText(used));
    m_used->setTint(theme().danger);
    m_free->setValue(DisplayText::sizeText(volume.available));
    m_free->setTint(theme().success);
    const std::int64_t reclaimed = m_state.lastReclaim();
    m_reclaim->setVisible(reclaimed > 0);
    m_reclaim->setText(DisplayText::sizeText(reclaimed) + QStringLiteral(" queued for reclaim"));
}

} // namespace tallymere
