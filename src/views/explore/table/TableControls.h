#pragma once
#include "views/components/ThemedWidget.h"

#include <QRectF>

#include <functional>

namespace tallymere {

class KeyStop;

// The strip above the table: the "Include everything below" switch at the leading edge, the number
// of rows and the "Export CSV" button at the trailing edge. It owns no table state: the view sets
// what it shows and gets the clicks through the two actions. The switch and the button are stops of
// Tab, pressed by Space and Return.
class TableControls : public ThemedWidget {
    Q_OBJECT
public:
    explicit TableControls(QWidget* parent = nullptr);

    void setRecursive(bool on);
    void setRowCount(std::int64_t rows);
    void setOnToggle(std::function<void()> action) { m_onToggle = std::move(action); }
    void setOnExport(std::function<void()> action) { m_onExport = std::move(action); }

    bool isRecursive() const { return m_recursive; }
    // "1,234 rows": always the plural, grouped as the desktop's locale groups numbers.
    QString countText() const;
    // Where the switch (with its label) and the export button take clicks.
    QRectF switchArea() const;
    QRectF exportArea() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Target { none, toggle, exportButton };
    Target targetAt(QPointF point) const;

    bool m_recursive = false;
    std::int64_t m_rows = 0;
    Target m_pressed = Target::none;
    std::function<void()> m_onToggle;
    std::function<void()> m_onExport;
    KeyStop* m_switchStop;
    KeyStop* m_exportStop;
};

} // namespace tallymere
