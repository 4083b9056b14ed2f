#include "style/SymbolImage.h"

#include "style/KeptFill.h"
#include "style/Typography.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <array>

namespace tallymere::SymbolImage {

namespace {

// Sorted by name (byte order) for the binary search in codepoint().
constexpr std::array entries = {
    Entry{"antenna.radiowaves.left.and.right", "settings_input_antenna", 0xE8BF},
    Entry{"app.badge", "apps", 0xE5C3},
    Entry{"app.badge.fill", "apps", 0xE5C3},
    Entry{"arrow.clockwise", "refresh", 0xE5D5},
    Entry{"arrow.down.circle.fill", "arrow_circle_down", 0xF181},
    Entry{"arrow.down.right", "south_east", 0xF1E4},
    Entry{"arrow.left.arrow.right", "swap_horiz", 0xE8D4},
    Entry{"arrow.right", "arrow_forward", 0xE5C8},
    Entry{"arrow.turn.left.up", "turn_left", 0xEBA6},
    Entry{"arrow.up", "arrow_upward", 0xE5D8},
    Entry{"arrow.up.forward.app", "open_in_new", 0xE89E},
    Entry{"arrow.up.right", "north_east", 0xF1E1},
    Entry{"calendar", "calendar_month", 0xEBCC},
    Entry{"camera.fill", "photo_camera", 0xE412},
    Entry{"chart.bar.doc.horizontal.fill", "align_horizontal_left", 0xE00D},
    Entry{"chart.bar.fill", "bar_chart", 0xE26B},
    Entry{"checkmark", "check", 0xE5CA},
    Entry{"checkmark.circle.fill", "check_circle", 0xE86C},
    Entry{"chevron.down", "expand_more", 0xE5CF},
    Entry{"chevron.left", "chevron_left", 0xE5CB},
    Entry{"chevron.left.forwardslash.chevron.right", "code", 0xE86F},
    Entry{"chevron.right", "chevron_right", 0xE5CC},
    Entry{"chevron.up", "expand_less", 0xE5CE},
    Entry{"circle.circle.fill", "donut_large", 0xE917},
    Entry{"circle.hexagongrid.fill", "bubble_chart", 0xE6DD},
    Entry{"clock", "schedule", 0xE8B5},
    Entry{"clock.arrow.2.circlepath", "update", 0xE923},
    Entry{"clock.arrow.circlepath", "history", 0xE889},
    Entry{"cpu.fill", "memory", 0xE322},
    Entry{"cube.fill", "view_in_ar", 0xE9FE},
    Entry{"cube.transparent.fill", "dns", 0xE875},
    Entry{"doc.fill", "insert_drive_file", 0xE24D},
    Entry{"doc.on.clipboard", "content_paste", 0xE14F},
    Entry{"doc.on.doc", "content_copy", 0xE14D},
    Entry{"doc.on.doc.fill", "file_copy", 0xE173},
    Entry{"doc.text.fill", "description", 0xE873},
    Entry{"ellipsis", "more_horiz", 0xE5D3},
    Entry{"envelope.fill", "mail", 0xE158},
    Entry{"equal.circle", "drag_handle", 0xE25D},
    Entry{"exclamationmark.triangle.fill", "warning", 0xE002},
    Entry{"externaldrive.connected.to.line.below.fill", "usb", 0xE1E0},
    Entry{"externaldrive.fill", "album", 0xE019},
    Entry{"eye.fill", "visibility", 0xE8F4},
    Entry{"film.fill", "movie", 0xE02C},
    Entry{"folder", "folder_open", 0xE2C8},
    Entry{"folder.fill", "folder", 0xE2C7},
    Entry{"gearshape.fill", "settings", 0xE8B8},
    Entry{"hammer.fill", "construction", 0xEA3C},
    Entry{"house.fill", "home", 0xE88A},
    Entry{"icloud", "cloud_queue", 0xE2C2},
    Entry{"info.circle.fill", "info", 0xE88E},
    Entry{"internaldrive", "storage", 0xE1DB},
    Entry{"internaldrive.fill", "storage", 0xE1DB},
    Entry{"iphone", "smartphone", 0xE32C},
    Entry{"link", "link", 0xE157},
    Entry{"list.bullet.rectangle", "list_alt", 0xE0EE},
    Entry{"lock.fill", "lock", 0xE897},
    Entry{"lock.open", "lock_open", 0xE898},
    Entry{"magnifyingglass", "search", 0xE8B6},
    Entry{"memorychip.fill", "developer_board", 0xE30D},
    Entry{"minus.circle.fill", "remove_circle", 0xE15C},
    Entry{"photo.fill", "photo", 0xE410},
    Entry{"plus", "add", 0xE145},
    Entry{"plus.circle", "add_circle_outline", 0xE148},
    Entry{"plus.circle.fill", "add_circle", 0xE147},
    Entry{"point.3.connected.trianglepath.dotted", "hub", 0xE9F4},
    Entry{"questionmark.folder.fill", "folder_off", 0xEB83},
    Entry{"scope", "my_location", 0xE55C},
    Entry{"shippingbox", "inventory_2", 0xE1A1},
    Entry{"shippingbox.fill", "inventory_2", 0xE1A1},
    Entry{"sidebar.right", "view_sidebar", 0xF114},
    Entry{"square.and.arrow.up", "ios_share", 0xE6B8},
    Entry{"square.grid.2x2", "grid_view", 0xE9B0},
    Entry{"square.grid.2x2.fill", "dashboard", 0xE871},
    Entry{"square.on.circle", "category", 0xE574},
    Entry{"square.stack.3d.down.right", "auto_awesome_motion", 0xE661},
    Entry{"square.stack.3d.up", "layers", 0xE53B},
    Entry{"stop.fill", "stop", 0xE047},
    Entry{"textformat.size.smaller", "format_size", 0xE245},
    Entry{"trash", "delete_outline", 0xE92E},
    Entry{"trash.fill", "delete", 0xE872},
    Entry{"waveform", "graphic_eq", 0xE1B8},
    Entry{"waveform.path.ecg", "monitor_heart", 0xEAA2},
    Entry{"xmark", "close", 0xE5CD},
    Entry{"xmark.circle.fill", "cancel", 0xE5C9},
    Entry{"xmark.octagon.fill", "dangerous", 0xE99A},
};

constexpr auto symbolFamily = "Material Icons";
constexpr auto symbolFile = "MaterialIcons-Regular.ttf";

// Glyph outlines are taken once at this pixel size and scaled; the font has one weight and no
// hinting worth keeping, so scaling a path loses nothing.
constexpr double referencePixels = 100.0;
// The em square is drawn a fifth larger than the nominal size: the icons keep a margin inside it.
constexpr double emPerPoint = 1.2;

QRawFont loadFont() {
    QRawFont registered = QRawFont::fromFont(QFont(QString::fromLatin1(symbolFamily)));
    if (registered.isValid() && registered.familyName() == QLatin1String(symbolFamily)) return registered;
    const QStringList candidates = {
        Typography::fontsFolder() + QLatin1Char('/') + QLatin1String(symbolFile),
        QStringLiteral("/usr/share/fonts/truetype/material-design-icons-iconfont/") + QLatin1String(symbolFile),
    };
    for (const QString& path : candidates) {
        if (!QFile::exists(path)) continue;
        QRawFont raw(path, referencePixels);
        if (raw.isValid()) return raw;
    }
    return QRawFont();
}

struct Outline {
    QPainterPath path; // at referencePixels, origin at the top-left of the em square
    QRectF bounds;     // of the path's control points
    bool valid = false;
};

const Outline& outlineOf(char16_t code) {
    static QHash<char16_t, Outline> cache;
    auto found = cache.constFind(code);
    if (found != cache.constEnd()) return *found;
    Outline outline;
    QRawFont raw = font();
    if (raw.isValid() && raw.supportsCharacter(QChar(code))) {
        raw.setPixelSize(referencePixels);
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(code)));
        if (!glyphs.isEmpty() && glyphs.first() != 0) {
            // Glyph paths have their origin on the baseline; the em square's top is one ascent up.
            outline.path = raw.pathForGlyph(glyphs.first()).translated(0, raw.ascent());
            outline.bounds = outline.path.controlPointRect();
            outline.valid = true;
        }
    }
    return *cache.insert(code, outline);
}

// Extra outline width, as a share of the drawn em, that stands in for the heavier weights.
double emboldening(QFont::Weight weight) {
    if (weight >= QFont::Black) return 0.075;
    if (weight >= QFont::ExtraBold) return 0.06;
    if (weight >= QFont::Bold) return 0.045;
    if (weight >= QFont::DemiBold) return 0.03;
    if (weight >= QFont::Medium) return 0.015;
    return 0.0;
}

// The outline widened for a weight, at referencePixels. Stroking a glyph costs far more than
// filling it, and a window draws the same few symbols over and over: each is stroked once. Scaling
// the stroke of the reference outline is the stroke of the scaled outline, round joins and caps
// included.
const QPainterPath& strokeOf(char16_t code, const Outline& outline, double widthAtReference) {
    static QHash<std::pair<char16_t, double>, QPainterPath> cache;
    const std::pair key(code, widthAtReference);
    auto found = cache.constFind(key);
    if (found != cache.constEnd()) return *found;
    QPainterPathStroker stroker;
    stroker.setWidth(widthAtReference);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return *cache.insert(key, stroker.createStroke(outline.path));
}

} // namespace

std::span<const Entry> table() { return entries; }

std::optional<char16_t> codepoint(std::string_view name) {
    auto it = std::lower_bound(entries.begin(), entries.end(), name,
                               [](const Entry& entry, std::string_view key) { return entry.name < key; });
    if (it == entries.end() || it->name != name) return std::nullopt;
    return it->codepoint;
}

const QRawFont& font() {
    static const QRawFont raw = loadFont();
    return raw;
}

QSizeF size(double pointSize) {
    const double side = std::max(pointSize, 0.0) * emPerPoint;
    return {side, side};
}

void draw(QPainter& painter, const QRectF& box, std::string_view name, double pointSize, QFont::Weight weight,
          const QColor& color) {
    if (pointSize <= 0) return;
    const char16_t code = codepoint(name).value_or(missingGlyph);
    const Outline& outline = outlineOf(code);
    if (!outline.valid) return;
    const double em = pointSize * emPerPoint;
    const double scale = em / referencePixels;
    const QPointF corner(box.center().x() - em / 2, box.center().y() - em / 2);
    QTransform transform;
    transform.translate(corner.x(), corner.y());
    transform.scale(scale, scale);

    // The outline, then the widening that stands in for a heavier weight, each as a kept picture:
    // two fills blended one after the other, as drawn directly.
    const double extra = emboldening(weight) * referencePixels;
    const QRectF bounds = transform.mapRect(outline.bounds).adjusted(-extra * scale, -extra * scale, extra * scale,
                                                                     extra * scale);
    const auto layer = [&](const QPainterPath& path, double widening) {
        KeptFill::paint(painter, {code, em, widening, 0, 0, color.rgba64()}, corner, bounds, [&](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing, true);
            p.fillPath(transform.map(path), color);
        });
    };
    layer(outline.path, 0);
    if (extra > 0) layer(strokeOf(code, outline, extra), extra);
}

QPixmap pixmap(std::string_view name, double pointSize, QFont::Weight weight, const QColor& color,
               qreal devicePixelRatio) {
    const QSizeF box = size(pointSize);
    const QSize pixels = (box * devicePixelRatio).toSize().expandedTo(QSize(1, 1));
    QPixmap image(pixels);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter, QRectF(QPointF(0, 0), box), name, pointSize, weight, color);
    return image;
}

} // namespace tallymere::SymbolImage
