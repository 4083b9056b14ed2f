#include "views/tools/applications/AppIcon.h"

#include "platform/RegularFile.h"
#include "style/SymbolImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tallymere::AppIcon {

namespace {

// Larger than any icon a launcher ships; a file beyond it is no icon.
constexpr std::size_t maxIconBytes = 4u << 20;
// A scalable icon is drawn this large, enough for any row at any display scale.
constexpr int scalableSide = 256;

// The image file an absolute icon path names. A launcher may name any file there, and it is read
// on the window's thread whenever a row is painted: only a regular file is read, never a pipe or a
// device that took its name (a pipe would hold the window for ever).
QIcon fromFile(const std::string& path) {
    const std::optional<std::string> bytes = RegularFile::read(path, maxIconBytes);
    if (!bytes) return {};
    QByteArray data(bytes->data(), static_cast<qsizetype>(bytes->size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer);
    if (reader.format() == "svg" || reader.format() == "svgz") {
        const QSize natural = reader.size();
        reader.setScaledSize(natural.isEmpty() ? QSize(scalableSide, scalableSide)
                                               : natural.scaled(scalableSide, scalableSide, Qt::KeepAspectRatio));
    }
    // Each size an .ico file holds (a few at most); the first image of any other file.
    const bool sizes = reader.format() == "ico";
    QIcon icon;
    for (int image = 0; image < 16; ++image) {
        const QImage read = reader.read();
        if (!read.isNull()) icon.addPixmap(QPixmap::fromImage(read));
        if (!sizes || !reader.jumpToNextImage()) break;
    }
    return icon;
}

// Icons read from files, each under the identity its file had when read: a row paints its icon
// on every repaint, and reading and decoding the file again each time (a scalable one drawn at
// full size) would make a hover wait on it. A file changed or replaced since is read afresh.
struct FileKey {
    std::string path;
    dev_t device;
    ino_t inode;
    off_t size;
    std::int64_t changed;
    bool operator==(const FileKey&) const = default;
};

QIcon fromFileKept(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const FileKey key{path, st.st_dev, st.st_ino, st.st_size,
                      std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    static std::vector<std::pair<FileKey, QIcon>> kept;
    for (const auto& [k, icon] : kept)
        if (k == key) return icon;
    QIcon icon = fromFile(path);
    std::erase_if(kept, [&](const auto& entry) { return entry.first.path == path; });
    if (kept.size() >= 256) kept.clear();
    kept.emplace_back(key, icon);
    return icon;
}

} // namespace

QIcon of(const InstalledApp& app) {
    if (app.iconName.empty()) return {};
    if (app.iconName.front() == '/') return fromFileKept(app.iconName);
    return QIcon::fromTheme(QString::fromStdString(app.iconName));
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
