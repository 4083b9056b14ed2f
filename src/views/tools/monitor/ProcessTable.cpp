#include "views/tools/monitor/ProcessTable.h"

#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

ProcessTable::ProcessTable(QWidget* parent)
    : ThemedWidget(parent),
      m_cursor(this, [this] { return int(m_rows.size()); }, [this](int row) { return rowRect(std::size_t(row), width()); }) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The rows are one stop of Tab, walked by the arrows; they run to the table's sides, so the
    // ring goes beyond the row's sides into the card's padding, and inside its top and bottom, clear
    // of the rows around it.
    setFocusPolicy(Qt::TabFocus);
}

void ProcessTable::keyPressEvent(QKeyEvent* event) {
    if (m_cursor.move(event)) return event->accept();
    ThemedWidget::keyPressEvent(event);
}

bool ProcessTable::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange && parentWidget()) m_cursor.drawOutside(4, 0, RowCursor::Reach::beside);
    return ThemedWidget::event(event);
}

QFont ProcessTable::headerFont() { return Typography::font(9, QFont::Bold); }
QFont ProcessTable::nameFont() { return Typography::font(11.5, QFont::Normal); }
QFont ProcessTable::pidFont() { return Typography::font(10.5, QFont::Normal); }
QFont ProcessTable::cpuFont() { return Typography::font(11, QFont::DemiBold); }
QFont ProcessTable::memoryFont() { return Typography::font(11, QFont::Normal); }

double ProcessTable::headerHeight() { return QFontMetricsF(headerFont()).height(); }

double ProcessTable::rowHeight() {
    const double line = std::max({QFontMetricsF(nameFont()).height(), QFontMetricsF(pidFont()).height(),
                                  QFontMetricsF(cpuFont()).height(), QFontMetricsF(memoryFont()).height()});
    return line + 2 * rowPadding;
}

QRectF ProcessTable::rowRect(std::size_t index, double width) {
    return {0, headerHeight() + headerGap + double(index) * rowHeight(), width, rowHeight()};
}

void ProcessTable::setProcesses(const std::vector<ProcessSample>& processes) {
    std::vector<MonitorText::ProcessRow> rows;
    const std::size_t count = std::min(processes.size(), MonitorText::maxProcessRows);
    rows.reserve(count);
    for (std::size_t i = 0; i < count; ++i) rows.push_back(MonitorText::processRow(processes[i]));
    const bool resized = rows.size() != m_rows.size();
    m_rows = std::move(rows);
    if (resized) updateGeometry();
    update();
}

QSize ProcessTable::sizeHint() const {
    double height = headerHeight();
    if (!m_rows.empty()) height += headerGap + double(m_rows.size()) * rowHeight();
    return {int(pidWidth + cpuWidth + memoryWidth + 120), int(std::ceil(height))};
}

void ProcessTable::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Theme& t = theme();
    const double w = width();
    const double nameWidth = std::max(w - pidWidth - cpuWidth - memoryWidth, 0.0);
    auto columns = [&](double top, double height) {
        struct {
            QRectF name, pid, cpu, memory;
        } c{QRectF(0, top, nameWidth, height), QRectF(nameWidth, top, pidWidth, height),
            QRectF(nameWidth + pidWidth, top, cpuWidth, height),
            QRectF(nameWidth + pidWidth + cpuWidth, top, memoryWidth, height)};
        return c;
    };

    const auto header = columns(0, headerHeight());
    painter.setFont(headerFont());
    painter.setPen(t.textTertiary);
    painter.drawText(header.name, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("PROCESS"));
    painter.drawText(header.pid, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("PID"));
    painter.drawText(header.cpu, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("CPU"));
    painter.drawText(header.memory, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("MEMORY"));

    const QFont name = nameFont(), pid = pidFont(), cpu = cpuFont(), memory = memoryFont();
    const QFontMetricsF nameMetrics(name), cpuMetrics(cpu), memoryMetrics(memory);
    const QColor hairlineColor = ShapePaint::withOpacity(t.stroke, 0.3);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const MonitorText::ProcessRow& row = m_rows[i];
        const QRectF area = rowRect(i, w);
        const auto cell = columns(area.top() + rowPadding, area.height() - 2 * rowPadding);
        painter.setFont(name);
        painter.setPen(t.text);
        painter.drawText(cell.name, Qt::AlignLeft | Qt::AlignVCenter,
                         nameMetrics.elidedText(row.name, Qt::ElideRight, cell.name.width()));
        painter.setFont(pid);
        painter.setPen(t.textTertiary);
        TextDraw::draw(painter, cell.pid, row.pid,
                       TextDraw::Style{.font = pid, .color = t.textTertiary, .alignment = Qt::AlignRight | Qt::AlignVCenter,
                                       .monospacedDigits = true});
        painter.setFont(cpu);
        painter.setPen(row.isBusy ? t.warning : t.textSecondary);
        painter.drawText(cell.cpu, Qt::AlignRight | Qt::AlignVCenter,
                         cpuMetrics.elidedText(row.cpu, Qt::ElideRight, cell.cpu.width()));
        painter.setFont(memory);
        painter.setPen(t.textSecondary);
        painter.drawText(cell.memory, Qt::AlignRight | Qt::AlignVCenter,
                         memoryMetrics.elidedText(row.memory, Qt::ElideRight, cell.memory.width()));
        painter.fillRect(QRectF(area.left(), area.bottom() - hairline, area.width(), hairline), hairlineColor);
    }
}

} // namespace tallymere
