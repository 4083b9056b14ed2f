#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace tallymere::AppIcon {

QIcon make() {
    // Drawn here rather than through an icon-engine plugin, which a desktop may lack.
    QSvgRenderer drawing(QStringLiteral(":/icons/tallymere.svg"));
    if (!drawing.isValid()) return QIcon();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        drawing.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tallymere::AppIcon
