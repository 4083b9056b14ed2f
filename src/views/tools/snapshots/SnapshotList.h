#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "views/components/controls/RowCursor.h"
#include "services/Snapshot.h"

#include <QRectF>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tallymere {

// The sidebar list of stored snapshots: one SnapshotRow each, 3 apart, inset 10, as tall as its
// rows (a scroll area gives it its width). The row under the pointer is the hovered one and shows
// its delete button; a click on that button asks for deletion, a click elsewhere on a row picks it.
// By keyboard the rows are one stop of Tab: the arrows walk them (the row ringed shows its delete
// button), Space or Return picks it, and Right reaches its delete button, which Space or Return
// press as a click does.
class SnapshotList : public ThemedWidget {
    Q_OBJECT
public:
    using Role = std::function<std::optional<std::string_view>(const Snapshot&)>;

    explicit SnapshotList(QWidget* parent = nullptr);

    // Replaces the rows; `role` labels each row's side. The hover stays with its snapshot while that
    // snapshot is still listed, and goes with it otherwise.
    void setSnapshots(const std::vector<Snapshot>* snapshots, Role role);

    QRectF rowRect(std::size_t index) const;
    QRectF deleteRect(std::size_t index) const;
    std::optional<std::size_t> hovered() const { return m_hovered; }
    void setHovered(std::optional<std::size_t> index);

    static constexpr double spacing = 3;
    static constexpr double inset = 10;

signals:
    void picked(std::size_t index);
    void deleteRequested(std::size_t index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::optional<std::size_t> rowAt(QPointF point) const;

    const std::vector<Snapshot>* m_snapshots = nullptr;
    Role m_role;
    std::optional<std::size_t> m_hovered;
    std::optional<Uuid> m_hoveredId;
    RowCursor m_cursor;
};

} // namespace tallymere
