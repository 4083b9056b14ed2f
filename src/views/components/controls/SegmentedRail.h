#pragma once
#include "views/components/ThemedWidget.h"

#include <QString>

#include <string>
#include <vector>

class QVariantAnimation;

namespace tallymere {

// One segment of a SegmentedRail: an item's key, its symbol and its title.
struct RailItem {
    QString id;
    std::string symbol;
    QString title;
    friend bool operator==(const RailItem&, const RailItem&) = default;
};

// A capsule row of icon segments over a list of items, one of which is selected. The selection
// belongs to the caller, as with a two-way binding: a click writes the clicked item's id (also when
// it is already selected) by emitting selectionWritten(), and the rail shows it at once, with the
// accent capsule gliding over under a spring while the new segment opens to show its title. A
// selection that matches no item leaves every segment as an icon with no capsule. Segment ids must
// be distinct; every segment carries its title as tooltip.
//
// It is a stop of Tab, ringed while it holds the keyboard (after a click only once a key is used);
// the arrow keys then write the segment before or after the selected one, Home and End the first
// and the last, as a click on it would.
class SegmentedRail : public ThemedWidget {
    Q_OBJECT
public:
    explicit SegmentedRail(QWidget* parent = nullptr);
    SegmentedRail(std::vector<RailItem> items, const QString& selection, QWidget* parent = nullptr);

    // Builds the rail's items from any list with key, symbol and title functions, e.g. over the
    // visualisation modes.
    template <class Range, class IdFn, class SymbolFn, class TitleFn>
    static std::vector<RailItem> makeItems(const Range& range, IdFn id, SymbolFn symbol, TitleFn title) {
        std::vector<RailItem> items;
        for (const auto& item : range) items.push_back({id(item), std::string(symbol(item)), title(item)});
        return items;
    }

    void setItems(std::vector<RailItem> items);
    const std::vector<RailItem>& items() const { return m_items; }

    // Shows `id` as selected without animating (the caller's value changed elsewhere); the id
    // already shown changes nothing, so echoing a click back keeps its animation running.
    void setSelection(const QString& id);
    QString selection() const { return m_selection; }
    // The index of the selected segment, or -1 when the selection matches no item.
    int selectedIndex() const;

    // The segment rectangles as currently laid out (mid-animation included), in widget coordinates.
    std::vector<QRectF> segmentRects() const;
    // The accent capsule as currently drawn; empty when nothing is selected.
    QRectF capsuleRect() const;
    int segmentAt(const QPointF& point) const;

    static constexpr double railPadding = 3;
    static constexpr double segmentSpacing = 2;
    static constexpr double symbolSize = 10.5;
    static QFont titleFont();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // A click wrote this id into the selection.
    void selectionWritten(const QString& id);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Writes the segment's id, as a click on it does, gliding the capsule over to it.
    void choose(int index);
    // How far each segment is opened (0 icon only, 1 selected), at the current animation time.
    double openness(int index) const;
    double segmentWidth(int index) const;
    double contentHeight() const;
    // Measures the titles once for the items they belong to.
    void measureTitles() const;
    void relayout();

    std::vector<RailItem> m_items;
    QString m_selection;
    int m_from = -1; // segment the capsule leaves
    int m_to = -1;   // segment the capsule goes to
    double m_progress = 1;
    int m_pressed = -1;
    QVariantAnimation* m_animation;
    // The titles' widths, whole pixels, and their line height: every layout, hit test and paint asks
    // for them (the rail is laid out again on each change of selection), and shaping the text costs
    // more than the rest of the layout. Empty until measured; cleared with new items.
    mutable std::vector<double> m_titleWidths;
    mutable double m_titleHeight = 0;
};

} // namespace tallymere
