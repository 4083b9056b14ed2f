#pragma once
#include "services/Snapshot.h"
#include "style/Theme.h"

#include <QFont>
#include <QRectF>
#include <QString>

#include <optional>
#include <string_view>

class QPainter;

namespace tallymere {

// One stored snapshot in the tab's sidebar: a drive or folder symbol, the title over "capture time
// · total size", the side chip ("BEFORE" / "AFTER") when the snapshot is on a side, and a trash
// button while the pointer is over the row. A chosen row is tinted and edged in `accent`; a hovered
// row on neither side is tinted `surfaceRaised`. Geometry in the row's own coordinates.
class SnapshotRow {
public:
    SnapshotRow(const Theme& theme, const Snapshot& snapshot, std::optional<std::string_view> role, bool hovering);

    static double height();
    QRectF deleteRect(double width) const;
    void paint(QPainter& painter, double width) const;

    std::string_view symbol() const;
    QString detailText() const;

    static constexpr double cornerRadius = 8;
    static QFont titleFont();
    static QFont detailFont();
    static QFont roleFont();

private:
    QRectF roleRect(double width) const;

    const Theme& m_theme;
    const Snapshot& m_snapshot;
    std::optional<std::string_view> m_role;
    bool m_hovering;
};

} // namespace tallymere
