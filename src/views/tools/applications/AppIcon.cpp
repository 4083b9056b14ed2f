#include "views/tools/applications/AppIcon.h"

#include "desktop/PictureDecoder.h"
#include "platform/RegularFile.h"
#include "style/SymbolImage.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tallymere::AppIcon {

namespace {

// Larger than any icon a launcher ships; a file beyond it is no icon.
constexpr off_t maxIconBytes = 4 << 20;
// An icon is decoded at most this large (a scalable one exactly), enough for any row at any
// display scale.
constexpr int decodedSide = 256;

// An icon file as it was when read: a row paints its icon on every repaint, and decoding the file
// each time would make a hover wait on it. A file changed or replaced since is decoded afresh.
struct FileKey {
    std::string path;
    dev_t device;
    ino_t inode;
    off_t size;
    std::int64_t changed;
    bool operator==(const FileKey&) const = default;
};

struct Kept {
    FileKey key;
    bool decoding = false;
    QIcon icon; // null for a file that holds no picture or took too long
    std::vector<QPointer<QWidget>> repaint; // drawn without it while it was decoded
};

// GUI thread only.
std::vector<Kept>& kept() {
    static std::vector<Kept> entries;
    return entries;
}

Kept* find(const FileKey& key) {
    for (Kept& entry : kept())
        if (entry.key == key) return &entry;
    return nullptr;
}

std::optional<FileKey> keyOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileKey{path, st.st_dev, st.st_ino, st.st_size, std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

void arrived(const FileKey& key, const PictureDecoder::Picture& picture) {
    Kept* entry = find(key);
    if (!entry) return; // replaced meanwhile
    entry->decoding = false;
    for (const QImage& image : picture.images) entry->icon.addPixmap(QPixmap::fromImage(image));
    for (const QPointer<QWidget>& widget : std::exchange(entry->repaint, {}))
        if (widget) widget->update();
}

// The image file an absolute icon path names. A launcher may name any file there: only a regular
// file is opened, never a pipe or a device that took its name (a pipe would hold the reader for
// ever), and it is decoded on the decoder's threads, never the window's.
QIcon fromFile(const std::string& path, QWidget* repaint) {
    const std::optional<FileKey> key = keyOf(path);
    if (!key) return {};
    if (Kept* entry = find(*key)) {
        if (entry->decoding && repaint && std::find(entry->repaint.begin(), entry->repaint.end(), repaint) == entry->repaint.end())
            entry->repaint.emplace_back(repaint);
        return entry->icon;
    }
    std::erase_if(kept(), [&](const Kept& entry) { return entry.key.path == path; });
    if (kept().size() >= 256) kept().clear();
    Kept& entry = kept().emplace_back(Kept{*key, false, {}, {}});
    if (key->size > maxIconBytes) return {};
    const int fd = RegularFile::openForReading(path);
    if (fd < 0) return {};
    entry.decoding = true;
    if (repaint) entry.repaint.emplace_back(repaint);
    PictureDecoder::decode(fd, QSize(decodedSide, decodedSide), QCoreApplication::instance(),
                           [key = *key](const PictureDecoder::Picture& picture) { arrived(key, picture); });
    ::close(fd);
    return {};
}

} // namespace

QIcon of(const InstalledApp& app, QWidget* repaint) {
    if (app.iconName.empty()) return {};
    if (app.iconName.front() == '/') return fromFile(app.iconName, repaint);
    return QIcon::fromTheme(QString::fromStdString(app.iconName));
}

bool isDecoding(const InstalledApp& app) {
    if (app.iconName.empty() || app.iconName.front() != '/') return false;
    const std::optional<FileKey> key = keyOf(app.iconName);
    const Kept* entry = key ? find(*key) : nullptr;
    return entry && entry->decoding;
}

void paint(QPainter& painter, const QRectF& box, const InstalledApp& app, const Theme& theme, QWidget* repaint) {
    const QIcon icon = of(app, repaint);
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
