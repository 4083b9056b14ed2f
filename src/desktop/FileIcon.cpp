#include "desktop/FileIcon.h"

#include <QMimeDatabase>

namespace tallymere::FileIcon {

QIcon themed(const QString& displayName, bool isFolder) {
    if (isFolder) return QIcon::fromTheme(QStringLiteral("folder"));
    // MatchExtension: the name decides, the content is never read.
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(displayName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    return icon;
}

QString kind(const QString& displayName) {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(displayName, QMimeDatabase::MatchExtension);
    const QString comment = mime.comment();
    return comment.isEmpty() ? mime.name() : comment;
}

} // namespace tallymere::FileIcon
