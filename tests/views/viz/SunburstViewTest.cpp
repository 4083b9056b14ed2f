// The sunburst canvas rendered offscreen: segment angles and fills, the polar hit test, the outlines
// over the cached picture, the centre readout and its up button, and the store after pointer input.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/RecordingDesktop.h"
#include "support/TreeText.h"
#include "views/components/canvas/HighlightOverlay.h"
#include "views/components/canvas/ShapePaint.h"
#include "style/Typography.h"
#include "views/components/TextDraw.h"
#include "views/viz/CanvasTestSupport.h"
#include "views/viz/SunburstCenter.h"
#include "views/viz/SunburstView.h"

#include <QPainter>

#include <cmath>
#include <memory>
#include <numbers>

#include <gtest/gtest.h>

using namespace tallymere;
using test::colourDistance;

namespace {

constexpr double pi = std::numbers::pi;

using test::childNamed;

struct Fixture {
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree;
    std::unique_ptr<SunburstView> view;

    explicit Fixture(std::string_view text, QSize size = {428, 428}) : tree(test::treeFromText(text)) {
        state.setUseAllocatedSize(false);
        state.setDesktop(&desktop);
        test::display(state, tree);
        view = std::make_unique<SunburstView>(state);
        view->resize(size);
        view->show();
    }
    QImage render() { return view->grab().toImage(); }
    // The middle of a node's segment in widget coordinates.
    QPointF middleOf(const FileNode* node) {
        const LayoutArc* arc = recordFor(view->arcs(), node);
        const double mid = (arc->startAngle + arc->endAngle) / 2, r = (arc->innerRadius + arc->outerRadius) / 2;
        const QPointF c = view->center() + QPointF(SunburstView::inset, SunburstView::inset);
        return {c.x() + r * std::sin(mid), c.y() - r * std::cos(mid)};
    }
};

constexpr std::string_view tree = R"(/srv/data/
  docs/
    a.pdf 300
    b.txt 100
  movie.mp4 600
)";

} // namespace

TEST(SunburstViewRings, AnglesFollowSizesAndFillsAreDrawn) {
    Fixture f(tree);
    const FileNode* docs = childNamed(*f.tree, "docs");
    const FileNode* movie = childNamed(*f.tree, "movie.mp4");
    const LayoutArc* movieArc = recordFor(f.view->arcs(), movie);
    const LayoutArc* docsArc = recordFor(f.view->arcs(), docs);
    ASSERT_TRUE(movieArc && docsArc);
    EXPECT_NEAR(movieArc->endAngle - movieArc->startAngle, 2 * pi * 0.6, 1e-6);
    EXPECT_NEAR(docsArc->endAngle - docsArc->startAngle, 2 * pi * 0.4, 1e-6);
    // Radius: half the 400-point area less 6, the disc 0.17 of it.
    EXPECT_NEAR(f.view->arcs().front().outerRadius, 194 * 0.17, 0.5);

    const QImage image = f.render();
    const QColor under = image.pixelColor(2, 2);
    const QColor fill = f.view->theme().nodeColor(*movie, movieArc->depth, movieArc->tint, f.state.colorMode());
    // Away from the label, which runs along the middle radius.
    const double mid = (movieArc->startAngle + movieArc->endAngle) / 2 + 0.3;
    const double r = (movieArc->innerRadius + movieArc->outerRadius) / 2;
    const QPointF c = f.view->center() + QPointF(SunburstView::inset, SunburstView::inset);
    const QPoint away(int(c.x() + r * std::sin(mid)), int(c.y() - r * std::cos(mid)));
    EXPECT_LE(colourDistance(image.pixelColor(away), test::blend(under, fill, 0.92)), 4);
    // The central disc is drawn from the raised surface at its centre.
    EXPECT_LE(colourDistance(image.pixelColor(c.toPoint()), f.view->theme().surfaceRaised), 4);

    // Polar hits: the centre hits nothing, a ring its segment.
    EXPECT_EQ(f.view->hit(f.view->center()), nullptr);
    EXPECT_EQ(f.view->hit(f.middleOf(movie) - QPointF(SunburstView::inset, SunburstView::inset)), movie);
    EXPECT_EQ(f.view->hit(f.middleOf(childNamed(*docs, "a.pdf")) - QPointF(SunburstView::inset, SunburstView::inset)),
              childNamed(*docs, "a.pdf"));

    // Each segment's bounds (which decide the bands that draw it) hold its whole outline.
    for (const LayoutArc& arc : f.view->arcs()) {
        const QRectF outline = SunburstView::segmentPath(arc, f.view->center()).boundingRect();
        EXPECT_TRUE(SunburstView::segmentBounds(arc, f.view->center()).adjusted(-0.01, -0.01, 0.01, 0.01).contains(outline));
    }

    // A colour-mode change re-renders the same arcs.
    const int layouts = f.view->layoutCount();
    const int renders = f.view->baseRenderCount();
    f.state.setColorMode(ColorMode::type);
    f.render();
    EXPECT_EQ(f.view->layoutCount(), layouts);
    EXPECT_EQ(f.view->baseRenderCount(), renders + 1);
}

TEST(SunburstViewPointer, OutlinesReadoutClicksAndMenu) {
    Fixture f(tree);
    const FileNode* docs = childNamed(*f.tree, "docs");
    const FileNode* movie = childNamed(*f.tree, "movie.mp4");
    SunburstCenter* centre = f.view->centerReadout();
    EXPECT_EQ(centre->nameText(), "data");
    EXPECT_EQ(centre->sizeText(), "1.00\u00A0KB");
    EXPECT_FALSE(centre->hasUpButton());
    EXPECT_TRUE(centre->testAttribute(Qt::WA_TransparentForMouseEvents));

    const QImage before = f.render();
    const int renders = f.view->baseRenderCount();
    const QPointF over = f.middleOf(movie);
    test::hoverAt(*f.view, over);
    EXPECT_EQ(f.state.hovered().get(), movie);
    EXPECT_EQ(centre->nameText(), "movie.mp4");
    EXPECT_EQ(centre->sizeText(), "600\u00A0B");
    QImage image = f.render();
    EXPECT_EQ(f.view->baseRenderCount(), renders);
    const QColor ink = HighlightOverlay::ink(f.view->theme());
    const QPoint probe = (over + QPointF(0, 8)).toPoint();
    EXPECT_LE(colourDistance(image.pixelColor(probe), test::blend(before.pixelColor(probe), ink, 0.14)), 3);

    test::clickAt(*f.view, over);
    EXPECT_EQ(f.state.selection().get(), movie);
    ASSERT_TRUE(test::chooseFromMenu(*f.view, over, "Add to Cleanup"));
    EXPECT_TRUE(f.state.isQueued(movie));
    ASSERT_TRUE(test::chooseFromMenu(*f.view, over, "Remove from Cleanup"));
    EXPECT_FALSE(f.state.isQueued(movie));

    // A double click on a folder drills in: the centre gets its up button, which goes back.
    test::doubleClickAt(*f.view, f.middleOf(docs));
    EXPECT_EQ(f.state.focus().get(), docs);
    EXPECT_EQ(f.state.selection(), nullptr);
    test::hoverAt(*f.view, f.view->center() + QPointF(SunburstView::inset, SunburstView::inset));
    EXPECT_EQ(f.state.hovered(), nullptr);
    EXPECT_EQ(centre->nameText(), "docs");
    ASSERT_TRUE(centre->hasUpButton());
    EXPECT_FALSE(centre->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QPointF button = centre->upButtonRect().center();
    test::sendMouse(*centre, QEvent::MouseButtonPress, button, Qt::LeftButton);
    test::sendMouse(*centre, QEvent::MouseButtonRelease, button, Qt::LeftButton);
    EXPECT_EQ(f.state.focus(), f.tree);
    EXPECT_FALSE(centre->hasUpButton());

    // A double click on a file reveals it.
    test::doubleClickAt(*f.view, f.middleOf(movie));
    EXPECT_EQ(f.desktop.revealed.back(), std::vector<std::string>{"/srv/data/movie.mp4"});
}

TEST(SunburstViewRules, OptionsSizesAndNames) {
    AppState state(test::memoryStore());
    for (auto [depth, expected] : {std::pair{2.0, 3}, {2.9, 3}, {7.0, 7}, {12.0, 12}}) {
        state.setTreemapDepth(depth);
        EXPECT_EQ(SunburstView::options(state).maxDepth, expected) << depth;
    }
    // 20 wide lays out nothing at any height; 21 by 21 gives radius 4.5 and rings.
    Fixture narrow(tree, QSize(20 + 28, 600));
    EXPECT_TRUE(narrow.view->arcs().empty());
    EXPECT_EQ(narrow.view->hit(QPointF(10, 300)), nullptr);
    Fixture small(tree, QSize(21 + 28, 21 + 28));
    EXPECT_DOUBLE_EQ(SunburstView::radiusFor(small.view->canvasSize()), 4.5);
    EXPECT_FALSE(small.view->arcs().empty());

    auto top = test::treeFromText("/\n  x 1\n");
    EXPECT_EQ(SunburstCenter::displayName(*top), "Macintosh HD");
    auto downloads = test::treeFromText("/home/u/Downloads/\n  x 1\n");
    EXPECT_EQ(SunburstCenter::displayName(*downloads), "Downloads");
    EXPECT_EQ(SunburstCenter::displayName(*downloads->children()[0]), "x");

    // An empty and a zero-byte tree draw no rings and no NaN.
    for (std::string_view text : {"/srv/e/\n", "/srv/z/\n  a 0\n"}) {
        Fixture f(text);
        for (const LayoutArc& arc : f.view->arcs())
            EXPECT_TRUE(std::isfinite(arc.startAngle) && std::isfinite(arc.endAngle) && std::isfinite(arc.outerRadius));
        f.render();
    }
}

TEST(SunburstViewPointer, OnlyTheUpButtonOfTheCentreTakesThePointer) {
    Fixture f(tree);
    const FileNode* docs = childNamed(*f.tree, "docs");
    const FileNode* pdf = childNamed(*docs, "a.pdf");
    f.state.setFocus(f.state.retain(docs));
    SunburstCenter* centre = f.view->centerReadout();
    ASSERT_TRUE(centre->hasUpButton());
    test::clickAt(*f.view, f.middleOf(pdf));
    ASSERT_EQ(f.state.selection().get(), pdf);

    // Over the name, above the button, the pointer is on the central disc: nothing is hovered, and a
    // click there clears the selection as a click on empty space does; the focus stays.
    const QPointF name(centre->width() / 2.0, 4);
    ASSERT_FALSE(centre->upButtonRect().contains(name));
    test::sendMouse(*centre, QEvent::MouseMove, name);
    EXPECT_EQ(f.state.hovered(), nullptr);
    test::hoverAt(*f.view, f.middleOf(pdf));
    test::sendMouse(*centre, QEvent::MouseButtonPress, name, Qt::LeftButton);
    test::sendMouse(*centre, QEvent::MouseButtonRelease, name, Qt::LeftButton);
    EXPECT_EQ(f.state.selection(), nullptr);
    EXPECT_EQ(f.state.focus().get(), docs);
}

TEST(SunburstViewLabels, AThinRingKeepsNoPartOfALongName) {
    // Seven rings share the radius, each too thin for a long name, though the arcs are long enough
    // for a label; the short name fits whole.
    Fixture f(R"(/srv/deep/
  Photographs-of-the-year/
    Holidays-abroad/
      Summer-by-the-sea/
        Day-one-at-the-beach/
          Morning-swim-pictures/
            Camera-roll-export/
              big.raw 9000
  ab/
    x 5000
)", {380, 380});
    const QImage image = f.render();
    ASSERT_GT(f.view->labelCandidates(), 0);
    const QPointF c = f.view->center() + QPointF(SunburstView::inset, SunburstView::inset);
    const QColor labelInk(26, 25, 22);
    const QRect readout = f.view->centerReadout()->geometry();
    auto inkAlong = [&](const LayoutArc& arc) {
        int dark = 0;
        const double mid = (arc.startAngle + arc.endAngle) / 2;
        for (double r = arc.innerRadius + 1; r <= arc.outerRadius - 1; r += 0.5)
            for (double side = -3; side <= 3; side += 1) {
                const QPointF p(c.x() + r * std::sin(mid) + side * std::cos(mid), c.y() - r * std::cos(mid) + side * std::sin(mid));
                if (readout.contains(p.toPoint())) continue;
                dark += colourDistance(image.pixelColor(p.toPoint()), labelInk) < 90;
            }
        return dark;
    };
    const LayoutArc* photos = recordFor(f.view->arcs(), childNamed(*f.tree, "Photographs-of-the-year"));
    const LayoutArc* shortName = recordFor(f.view->arcs(), childNamed(*f.tree, "ab"));
    ASSERT_TRUE(photos && shortName);
    const double thickness = photos->outerRadius - photos->innerRadius;
    ASSERT_GT(thickness, 13);
    ASSERT_LT(thickness, 26);
    EXPECT_EQ(inkAlong(*photos), 0);
    EXPECT_GT(inkAlong(*shortName), 5);
}

TEST(SunburstViewLabels, ANameIsDrawnWholeInsideItsRingOrNotAtAllAndTheCentreNameInsideItsDisc) {
    // Two files on the first ring, nothing outside them: the long name has room along its wide arc
    // and for many of its letters across the ring, but not for all of them, so it is left out
    // rather than cut; the short name is drawn whole inside its ring.
    Fixture f(R"(/srv/data/a-long-folder-name-for-the-ring/
  package-lists-of-the-whole-system 6000
  rest.bin 4000
)", {640, 640});
    f.state.setTreemapDepth(3); // three rings share the radius
    const LayoutArc* lists = recordFor(f.view->arcs(), childNamed(*f.tree, "package-lists-of-the-whole-system"));
    const LayoutArc* rest = recordFor(f.view->arcs(), childNamed(*f.tree, "rest.bin"));
    ASSERT_TRUE(lists && rest);
    TextDraw::Style style{Typography::font(9, QFont::DemiBold), Qt::black};
    const double thickness = lists->outerRadius - lists->innerRadius;
    ASSERT_GT(thickness, TextDraw::width("package-lists", style));
    ASSERT_LT(thickness, TextDraw::width("package-lists-of-the-whole-system", style));
    const QImage image = f.render();
    ASSERT_GT(f.view->labelCandidates(), 1);
    const QPointF c = f.view->center() + QPointF(SunburstView::inset, SunburstView::inset);
    const QRect readout = f.view->centerReadout()->geometry();
    const QColor labelInk(26, 25, 22);
    // The radii, every half point, where a few points either side of the arc's middle line are inked.
    auto inkedRadii = [&](const LayoutArc& arc, double fromRadius, double toRadius) {
        std::vector<double> radii;
        const double mid = (arc.startAngle + arc.endAngle) / 2;
        for (double r = fromRadius; r <= toRadius; r += 0.5)
            for (double side = -4; side <= 4; side += 1) {
                const QPointF p(c.x() + r * std::sin(mid) + side * std::cos(mid), c.y() - r * std::cos(mid) + side * std::sin(mid));
                if (readout.contains(p.toPoint())) continue;
                if (colourDistance(image.pixelColor(p.toPoint()), labelInk) < 90) {
                    radii.push_back(r);
                    break;
                }
            }
        return radii;
    };
    EXPECT_TRUE(inkedRadii(*lists, 4, lists->outerRadius + 60).empty());
    const std::vector<double> name = inkedRadii(*rest, 4, rest->outerRadius + 60);
    ASSERT_FALSE(name.empty());
    EXPECT_GT(name.front(), rest->innerRadius);
    EXPECT_LT(name.back(), rest->outerRadius);
    EXPECT_NEAR(name.back() - name.front(), TextDraw::width("rest.bin", style), 2.5); // the whole name

    // The centre's long name is cut where the disc's edge would cross it: no text outside the disc.
    SunburstCenter* centre = f.view->centerReadout();
    const double disc = f.view->arcs().front().outerRadius;
    EXPECT_LT(centre->nameWidth(), SunburstCenter::maxNameWidth);
    EXPECT_TRUE(centre->nameText().startsWith("a-long-folder-name"));
    const QColor text = f.view->theme().text;
    int outside = 0, inside = 0;
    for (int y = readout.top(); y <= readout.bottom(); ++y)
        for (int x = readout.left(); x <= readout.right(); ++x) {
            if (colourDistance(image.pixelColor(x, y), text) > 60) continue;
            (std::hypot(x + 0.5 - c.x(), y + 0.5 - c.y()) > disc ? outside : inside)++;
        }
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);
}

TEST(SunburstViewPointer, TheHoveredDiscIsMarkedAsDrawnDirectlyWithOrWithoutASelection) {
    // The hovered disc's tint and outline are laid from marks kept over the picture: pixel for
    // pixel what the painter draws over the picture there, a selected segment's outline included.
    Fixture f(tree);
    f.view->centerReadout()->hide(); // the readout's text would lie over the marks
    const FileNode* movie = childNamed(*f.tree, "movie.mp4");
    const QImage plain = f.render().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const LayoutArc& disc = f.view->arcs().front();
    const QColor ink = HighlightOverlay::ink(f.view->theme());
    auto expected = [&](const LayoutArc* selected) {
        QImage image = plain;
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(SunburstView::inset, SunburstView::inset);
        if (selected) painter.strokePath(SunburstView::segmentPath(*selected, f.view->center()), QPen(ink, 2));
        const QPainterPath path = SunburstView::segmentPath(disc, f.view->center());
        painter.fillPath(path, ShapePaint::withOpacity(ink, 0.14));
        painter.strokePath(path, QPen(ShapePaint::withOpacity(ink, 0.8), 1.6));
        return image;
    };
    auto rendered = [&] { return f.render().convertToFormat(QImage::Format_ARGB32_Premultiplied); };

    f.state.setHovered(f.state.focus() ? f.state.focus() : f.tree);
    ASSERT_EQ(recordFor(f.view->arcs(), f.state.hovered().get()), &disc);
    EXPECT_EQ(rendered(), expected(nullptr));
    // Made beforehand, with the picture.
    EXPECT_EQ(f.view->discMarksMadeOnHover(), 0);

    // A selection the ring's outline runs next to, then the disc hovered again: made when hovered.
    f.state.setSelection(f.state.retain(movie));
    f.state.setHovered(nullptr);
    f.state.setHovered(f.tree);
    EXPECT_EQ(rendered(), expected(recordFor(f.view->arcs(), movie)));
    EXPECT_EQ(f.view->discMarksMadeOnHover(), 1);
    // Hovered once more, the kept marks serve as they are.
    f.state.setHovered(f.state.retain(movie));
    f.render();
    f.state.setHovered(f.tree);
    EXPECT_EQ(rendered(), expected(recordFor(f.view->arcs(), movie)));
    EXPECT_EQ(f.view->discMarksMadeOnHover(), 1);
}
