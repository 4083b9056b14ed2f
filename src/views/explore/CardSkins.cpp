#include "views/explore/CardSkins.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

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

} // namespace

const QImage& skin(const std::string& key, QSizeF size, qreal ratio, const std::function<void(QPainter&)>& paint) {
    Store& s = store();
    const std::string fullKey = key + '@' + std::to_string(size.width()) + 'x' + std::to_string(size.height()) + '@' +
                                std::to_string(ratio);
    if (auto found = s.byKey.find(fullKey); found != s.byKey.end()) {
        s.pictures.splice(s.pictures.begin(), s.pictures, found->second);
        return found->second->second;
    }
    QImage picture((size * ratio).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        paint(painter);
    }
    ++s.painted;
    s.bytes += picture.sizeInBytes();
    s.pictures.emplace_front(fullKey, std::move(picture));
    s.byKey[fullKey] = s.pictures.begin();
    while (s.bytes > keptBytes && s.pictures.size() > 1) {
        s.bytes -= s.pictures.back().second.sizeInBytes();
        s.byKey.erase(s.pictures.back().first);
        s.pictures.pop_back();
    }
    return s.pictures.front().second;
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
