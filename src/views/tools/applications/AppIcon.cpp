#include "views/tools/applications/AppIcon.h"

#include "desktop/PictureDecoder.h"
#include "style/SymbolImage.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace tallymere::AppIcon {

namespace {

// Larger than any icon a launcher ships; a file beyond it is no icon.
constexpr qint64 maxIconBytes = 4 << 20;
// An icon is decoded at most this large (a scalable one exactly), enough for any row at any
// display scale.
constexpr int decodedSide = 256;

// An icon file as last decoded: a row paints its icon on every repaint, and looking at the file
// each time would make every hover wait on it.
struct Kept {
    std::string path;
    bool decoding = false;
    bool stale = false; // looked at again when next asked for, showing the icon it has meanwhile
    QIcon icon;         // null for a file that holds no picture or took too long
    std::vector<QPointer<QWidget>> repaint; // drawn without it while it was decoded
};

// GUI thread only.
std::vector<Kept>& kept() {
    static std::vector<Kept> entries;
    return entries;
}

Kept* find(const std::string& path) {
    for (Kept& entry : kept())
        if (entry.path == path) return &entry;
    return nullptr;
}

void arrived(const std::string& path, const PictureDecoder::Picture& picture) {
    Kept* entry = find(path);
    if (!entry) return; // dropped meanwhile
    entry->decoding = false;
    entry->icon = QIcon();
    for (const QImage& image : picture.images) entry->icon.addPixmap(QPixmap::fromImage(image));
    for (const QPointer<QWidget>& widget : std::exchange(entry->repaint, {}))
        if (widget) widget->update();
}

void decode(Kept& entry, QWidget* repaint) {
    entry.decoding = true;
    entry.stale = false;
    if (repaint) entry.repaint.emplace_back(repaint);
    PictureDecoder::decodeFile(entry.path, maxIconBytes, QSize(decodedSide, decodedSide), QCoreApplication::instance(),
                               [path = entry.path](const PictureDecoder::Picture& picture) { arrived(path, picture); });
}

// The image file an absolute icon path names. A launcher may name any file there, on any mount:
// the decoder's threads look it up, open only a regular file (never a pipe or a device that took
// its name, which would hold the reader for ever) and decode it, never the window's thread.
QIcon fromFile(const std::string& path, QWidget* repaint) {
    if (Kept* entry = find(path)) {
        if (entry->stale && !entry->decoding) decode(*entry, repaint);
        else if (entry->decoding && repaint &&
                 std::find(entry->repaint.begin(), entry->repaint.end(), repaint) == entry->repaint.end())
            entry->repaint.emplace_back(repaint);
        return entry->icon;
    }
    if (kept().size() >= 256) std::erase_if(kept(), [](const Kept& entry) { return !entry.decoding; });
    decode(kept().emplace_back(Kept{path, false, false, {}, {}}), repaint);
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
    const Kept* entry = find(app.iconName);
    return entry && entry->decoding;
}

void lookAgain() {
    for (Kept& entry : kept()) entry.stale = true;
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
