#pragma once
#include "services/ProcessSample.h"
#include "views/components/ThemedWidget.h"
#include "views/components/controls/RowCursor.h"
#include "views/tools/monitor/MonitorText.h"

#include <vector>

namespace tallymere {

// The process card's table: the column header ("PROCESS", then "PID", "CPU" and "MEMORY" in
// right-aligned columns 66, 74 and 86 wide; 9 bold, textTertiary), 8 below it the first 18
// processes in the order given. A row is the name (11.5 regular, text, one line), the PID (10.5
// regular, digits in equal cells, textTertiary), the CPU share (11 semibold; warning above half a
// core, else textSecondary) and the resident size (11 regular, textSecondary), with 2.5 above and
// below and a 0.5 hairline of stroke at 0.3 opacity along its foot. The pointer passes through it;
// the keyboard walks its rows (one stop of Tab, the arrows), ringing one.
class ProcessTable : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double pidWidth = 66, cpuWidth = 74, memoryWidth = 86;
    static constexpr double headerGap = 8;
    static constexpr double rowPadding = 2.5;
    static constexpr double hairline = 0.5;

    explicit ProcessTable(QWidget* parent = nullptr);

    void setProcesses(const std::vector<ProcessSample>& processes);
    const std::vector<MonitorText::ProcessRow>& rows() const { return m_rows; }

    static QFont headerFont();
    static QFont nameFont();
    static QFont pidFont();
    static QFont cpuFont();
    static QFont memoryFont();
    static double headerHeight();
    static double rowHeight();
    // The area of row `index` (hairline included) in a table `width` wide.
    static QRectF rowRect(std::size_t index, double width);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {int(pidWidth + cpuWidth + memoryWidth), sizeHint().height()}; }

    int currentRow() const { return m_cursor.current(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::vector<MonitorText::ProcessRow> m_rows;
    RowCursor m_cursor;
};

} // namespace tallymere
