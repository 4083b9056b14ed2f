#pragma once
#include "services/Snapshot.h"
#include "style/Theme.h"

#include <QFont>
#include <QString>

class QPainter;

namespace tallymere {

// One changed path in the comparison: the kind as a coloured badge ("GREW", "SHRANK", "NEW",
// "GONE"), the name over the path (cut at its head so its end stays visible), "before → after" and
// the signed change in a column of fixed width. Drawn on `surface` at 60 %. Geometry in the row's
// own coordinates.
class DeltaRow {
public:
    DeltaRow(const Theme& theme, const SnapshotDelta& delta);

    static double height();
    void paint(QPainter& painter, double width) const;

    static QString badgeText(SnapshotDelta::Change change);
    static QColor color(const Theme& theme, SnapshotDelta::Change change);
    // "+12.0 MB" / "−3.40 MB" (U+2212): the sign for after − before, then the size of its magnitude.
    static QString signedChange(std::int64_t before, std::int64_t after);
    QString sizesText() const;

    static constexpr double cornerRadius = 7;
    static constexpr double badgeWidth = 48;
    static constexpr double changeWidth = 88;
    static QFont badgeFont();
    static QFont nameFont();
    static QFont pathFont();
    static QFont sizesFont();
    static QFont changeFont();

private:
    const Theme& m_theme;
    const SnapshotDelta& m_delta;
};

} // namespace tallymere
