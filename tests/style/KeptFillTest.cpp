#include "style/KeptFill.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <functional>

using namespace tallymere;

namespace {

// A background every blend shows on: colour and brightness change from pixel to pixel.
QImage canvas(QSize logical, double ratio) {
    QImage image((QSizeF(logical) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
    image.setDevicePixelRatio(ratio);
    return image;
}

struct Figure {
    const char* name;
    KeptFill::Shape shape;
    QRectF bounds; // at the origin
    std::function<void(QPainter&, QPointF)> draw;
};

std::vector<Figure> figures(const QColor& color) {
    const QRectF cell(0, 0, 23.5, 9.25);
    return {
        {"curved outline", {1, 0, 0, 0, 0, color.rgba64()}, QRectF(-1, -1, 16, 16),
         [color](QPainter& p, QPointF at) {
             QPainterPath path;
             path.addEllipse(QRectF(at, QSizeF(13.3, 11.7)));
             path.addEllipse(QRectF(at + QPointF(4.1, 2.2), QSizeF(5.5, 6.6))); // a hole, by odd-even
             path.moveTo(at + QPointF(0.3, 14.1));
             path.cubicTo(at + QPointF(5, 7), at + QPointF(9, 16), at + QPointF(13.9, 9.3));
             path.closeSubpath();
             p.setRenderHint(QPainter::Antialiasing, true);
             p.fillPath(path, color);
         }},
        {"rounded fill", {2, cell.width(), cell.height(), 3.5, 0, color.rgba64()}, cell.adjusted(-1, -1, 1, 1),
         [color, cell](QPainter& p, QPointF at) {
             QPainterPath path;
             path.addRoundedRect(cell.translated(at), 3.5, 3.5);
             p.setRenderHint(QPainter::Antialiasing, true);
             p.fillPath(path, color);
         }},
        {"rounded stroke", {3, cell.width(), cell.height(), 4, 0, color.rgba64()}, cell.adjusted(-1, -1, 1, 1),
         [color, cell](QPainter& p, QPointF at) {
             p.setRenderHint(QPainter::Antialiasing, true);
             p.setPen(QPen(color, 1.0));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(cell.translated(at).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
         }},
    };
}

// Every place within a pixel the window's layouts give: whole, half, quarter and odd positions.
std::vector<QPointF> places() {
    std::vector<QPointF> out;
    const double fractions[] = {0, 0.5, 0.25, 0.75, 0.3, 0.6875, 0.1, 0.93};
    int i = 0;
    for (double fx : fractions)
        for (double fy : {0.0, 0.5, 0.37}) {
            out.emplace_back(2 + (i % 6) * 26 + fx, 3 + (i / 6) * 19 + fy);
            ++i;
        }
    return out;
}


// Draws one figure at every place on two canvases, directly and through kept pictures, and gives
// the number of pixels that differ.
int differingPixels(const Figure& figure, double ratio, bool clipped = false) {
    const QSize size(160, 200);
    QImage direct = canvas(size, ratio), kept = canvas(size, ratio);
    {
        QPainter a(&direct), b(&kept);
        if (clipped)
            for (QPainter* p : {&a, &b}) {
                // A clip the painter sets itself, at a fraction of a pixel with smoothing on, as a
                // control clips its parts: it blends its edges by coverage.
                p->setRenderHint(QPainter::Antialiasing, true);
                p->setClipRect(QRectF(9.3, 7.6, 120.45, 150.7));
            }
        for (QPointF at : places()) {
            a.save();
            figure.draw(a, at);
            a.restore();
            KeptFill::paint(b, figure.shape, at, figure.bounds.translated(at), [&](QPainter& p) { figure.draw(p, at); });
        }
    }
    int differing = 0;
    for (int y = 0; y < direct.height(); ++y) {
        const QRgb* da = reinterpret_cast<const QRgb*>(direct.constScanLine(y));
        const QRgb* db = reinterpret_cast<const QRgb*>(kept.constScanLine(y));
        for (int x = 0; x < direct.width(); ++x) {
            differing += da[x] != db[x];
        }
    }
    return differing;
}

} // namespace

TEST(KeptFill, CopiesLandWhereDirectFillsWould) {
    const KeptFill::Counts before = KeptFill::counts();
    for (double ratio : {1.0, 2.0})
        for (const QColor& color : {QColor(40, 90, 200), QColor(200, 60, 30, 77), QColor(255, 255, 255, 250)}) {
            const std::vector<Figure> all = figures(color);
            for (const Figure& figure : all) {
                // A line of one device pixel is the engine's own line drawing, never a kept picture.
                if (figure.shape.kind == 3 && ratio < 2) continue;
                const std::string what = std::string(figure.name) + ", ratio " + std::to_string(ratio) + ", colour " +
                                         color.name(QColor::HexArgb).toStdString();
                // The later frames copy the pictures the first one kept.
                for (int frame = 0; frame < 2; ++frame) EXPECT_EQ(differingPixels(figure, ratio), 0) << what;
                EXPECT_EQ(differingPixels(figure, ratio, true), 0) << what << ", clipped";
            }
        }
    const KeptFill::Counts after = KeptFill::counts();
    // Each shape was kept when first met and copied every time; only the clipped ones were drawn
    // directly.
    EXPECT_GT(after.kept, before.kept);
    EXPECT_EQ(after.copied - before.copied, 2 * (after.kept - before.kept));
    EXPECT_EQ(after.direct - before.direct, after.kept - before.kept);
}

TEST(KeptFill, TintedShapesLandWhereDirectFillsWouldInEveryColour) {
    // One shape at every place, in colours that change from frame to frame as a heat map's cells
    // do (opaque, translucent, faint, near white), over a background that changes from pixel to
    // pixel: the coverage is made once per place and laid in each colour as the fill would be.
    const QRectF cell(0, 0, 23.5, 9.25);
    const KeptFill::Shape shape{77, cell.width(), cell.height(), 3.5, 0, 0};
    const auto draw = [cell](QPainter& p, QPointF at, const QColor& color) {
        QPainterPath path;
        path.addRoundedRect(cell.translated(at), 3.5, 3.5);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.fillPath(path, color);
    };
    for (double ratio : {1.0, 2.0}) {
        const KeptFill::Counts before = KeptFill::counts();
        for (const QColor& color : {QColor(40, 90, 200), QColor(200, 60, 30, 77), QColor(255, 255, 255, 250),
                                    QColor(3, 250, 128, 1), QColor(120, 140, 160, 204)}) {
            QImage direct = canvas(QSize(160, 200), ratio), tinted = direct;
            {
                QPainter a(&direct), b(&tinted);
                for (QPointF at : places()) {
                    a.save();
                    draw(a, at, color);
                    a.restore();
                    KeptFill::paintTinted(b, shape, at, cell.adjusted(-1, -1, 1, 1).translated(at), color,
                                          [&](QPainter& p, const QColor& c) { draw(p, at, c); });
                }
            }
            EXPECT_EQ(direct, tinted) << "ratio " << ratio << ", colour " << color.name(QColor::HexArgb).toStdString();
        }
        const KeptFill::Counts after = KeptFill::counts();
        EXPECT_EQ(after.tinted - before.tinted, 5 * qsizetype(places().size()));
        EXPECT_LE(after.covered - before.covered, qsizetype(places().size())) << "ratio " << ratio;
        EXPECT_EQ(after.kept, before.kept);
    }
}

TEST(KeptFill, DrawsDirectlyWhereACopyWouldDiffer) {
    QImage image = canvas(QSize(40, 40), 2);
    QPainter painter(&image);
    const KeptFill::Counts before = KeptFill::counts();
    int drawn = 0;
    const auto fill = [&](QPainter& p) {
        ++drawn;
        p.fillRect(QRectF(2, 2, 10, 10), Qt::red);
    };
    painter.setOpacity(0.5);
    KeptFill::paint(painter, {9, 1, 0, 0, 0, 1}, QPointF(2, 2), QRectF(2, 2, 10, 10), fill);
    painter.setOpacity(1);
    painter.rotate(10);
    KeptFill::paint(painter, {9, 1, 0, 0, 0, 1}, QPointF(2, 2), QRectF(2, 2, 10, 10), fill);
    EXPECT_EQ(drawn, 2);
    EXPECT_EQ(KeptFill::counts().direct - before.direct, 2);
    EXPECT_EQ(KeptFill::counts().copied, before.copied);
}
