#include "views/tools/applications/AppIcon.h"

#include "style/SymbolImage.h"

#include <QFileInfo>
#include <QPainter>

namespace tallymere::AppIcon {

QIcon of(const InstalledApp& app) {
    const QString name = QString::fromStdString(app.iconName);
    if (name.isEmpty()) return {};
    if (name.startsWith('/')) return QFileInfo(name).isFile() ? QIcon(name) : QIcon();
    return QIcon::fromTheme(name);
}

void paint(QPainter& painter, const QRectF& box, const InstalledApp& app, const Theme& theme) {
    const QIcon icon = of(app);
    if (!icon.isNull()) {
        const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QPixmap pixmap = icon.pixmap(box.size().toSize(), ratio);
        if (!pixmap.isNull()) {
            painter.save();
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawPixmap(box, pixmap, QRectF(pixmap.rect()));
            painter.restore();
            return;
        }
    }
    SymbolImage::draw(painter, box, "app.badge", box.height() * 0.7, QFont::Normal, theme.textSecondary);
}

} // namespace tallymere::AppIcon
