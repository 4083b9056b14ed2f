#include "views/explore/folders/CardSkins.h"

#include "views/components/canvas/ParallelBands.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <list>
#include <unordered_map>
#include <utility>

namespace tallymere::CardSkins {

namespace {

constexpr qsizetype keptBytes = 24 * 1024 * 1024;

struct Store {
    std::list<std::pair<std::string, QImage>> pictures; // most recently used first
    std::unordered_map<std::string, std::list<std::pair<std::string, QImage>>::iterator> byKey;
    qsizetype bytes = 0;
    int painted = 0;
};

Store& store() {
    static Store pictures;
    return pictures;
}

std::string fullKey(const std::string& key, QSizeF size, qreal ratio) {
    return key + '@' + std::to_string(size.width()) + 'x' + std::to_string(size.height()) + '@' + std::to_string(ratio);
}

// Every device pixel the card covers, the last one too where its edge falls inside a pixel: a
// picture rounded to the nearest pixel would leave off that column or row of the card's outline.
// (A hair below a whole pixel counts as whole, so that no empty column comes of a product's
// rounding error.)
QSize pixelsOf(QSizeF size, qreal ratio) {
    const auto cover = [ratio](qreal length) { return int(std::ceil(length * ratio - 1e-6)); };
    return QSize(cover(size.width()), cover(size.height())).expandedTo(QSize(1, 1));
}

QImage render(QSizeF size, qreal ratio, const std::function<void(QPainter&)>& paint) {
    QImage picture(pixelsOf(size, ratio), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        paint(painter);
    }
    return picture;
}

const QImage& keep(Store& s, const std::string& key, QImage picture) {
    ++s.painted;
    s.bytes += picture.sizeInBytes();
    s.pictures.emplace_front(key, std::move(picture));
    s.byKey[key] = s.pictures.begin();
    while (s.bytes > keptBytes && s.pictures.size() > 1) {
        s.bytes -= s.pictures.back().second.sizeInBytes();
        s.byKey.erase(s.pictures.back().first);
        s.pictures.pop_back();
    }
    return s.pictures.front().second;
}

const QImage* kept(Store& s, const std::string& key) {
    const auto found = s.byKey.find(key);
    if (found == s.byKey.end()) return nullptr;
    s.pictures.splice(s.pictures.begin(), s.pictures, found->second);
    return &found->second->second;
}

} // namespace

const QImage& skin(const std::string& key, QSizeF size, qreal ratio, const std::function<void(QPainter&)>& paint) {
    Store& s = store();
    const std::string full = fullKey(key, size, ratio);
    if (const QImage* found = kept(s, full)) return *found;
    return keep(s, full, render(size, ratio, paint));
}

const QImage& skin(const Picture& picture) { return skin(picture.key, picture.size, picture.ratio, picture.paint); }

void prepare(const std::vector<Picture>& pictures) {
    Store& s = store();
    std::vector<const Picture*> due;
    std::vector<std::string> keys; // of every picture counted, kept or due
    std::vector<std::string> dueKeys;
    qsizetype bytes = 0;
    for (const Picture& picture : pictures) {
        std::string full = fullKey(picture.key, picture.size, picture.ratio);
        if (std::find(keys.begin(), keys.end(), full) != keys.end()) continue;
        const QSize pixels = pixelsOf(picture.size, picture.ratio);
        bytes += qsizetype(pixels.width()) * pixels.height() * 4;
        if (bytes > keptBytes) break;
        // A kept one the page needs moves to the front, so that those drawn now push out others.
        if (kept(s, full)) {
            keys.push_back(std::move(full));
            continue;
        }
        due.push_back(&picture);
        dueKeys.push_back(full);
        keys.push_back(std::move(full));
    }
    if (due.empty()) return;
    std::vector<QImage> drawn(due.size());
    const auto draw = [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const Picture& picture = *due[std::size_t(i)];
            drawn[std::size_t(i)] = render(picture.size, picture.ratio, picture.paint);
        }
    };
    // One task a picture: on a busy machine the threads that get a processor take the rest.
    if (due.size() == 1) ParallelBands::runOnPool([&] { draw(0, 1); });
    else ParallelBands::run(int(due.size()), int(due.size()), draw, int(due.size()));
    for (std::size_t i = 0; i < due.size(); ++i) keep(s, dueKeys[i], std::move(drawn[i]));
}

qreal ratioOf(const QPainter& painter) {
    // The scale to the pixels actually written: a widget rendered into a picture of another ratio
    // paints at the picture's.
    const QTransform& toDevice = painter.deviceTransform();
    if (toDevice.type() <= QTransform::TxScale && toDevice.m11() > 0 && toDevice.m11() == toDevice.m22())
        return toDevice.m11();
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

void draw(QPainter& painter, QPointF topLeft, const QImage& picture) {
    const QTransform& toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxScale) {
        painter.drawImage(topLeft, picture);
        return;
    }
    const QPointF device = toDevice.map(topLeft);
    const QPointF snapped(std::round(device.x()), std::round(device.y()));
    painter.drawImage(toDevice.inverted().map(snapped), picture);
}

int paintedCount() { return store().painted; }

} // namespace tallymere::CardSkins
