#pragma once
#include "services/DuplicateFinder.h"
#include "style/Theme.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <functional>

class QPainter;

namespace tallymere {

// One group of identical files drawn as a card: a header row (chevron, the kept copy's glyph and
// name, "N identical copies · S each", the waste and the "Keep first" capsule) and, while expanded,
// one row per file ("KEEP" / "COPY i", the path cut in the middle, reveal and queue buttons).
// A painter for the group list: it holds no state beyond its inputs and draws only what it is
// given. Geometry is in the card's own coordinates, the card's top-left corner at (0, 0).
class GroupCard {
public:
    // Whether a file of the group is staged; decides the queue symbol and colour of its row.
    using IsQueued = std::function<bool(const FileNode&)>;

    GroupCard(const Theme& theme, const DuplicateFinder::Group& group, bool expanded);

    // Height of the card at any width: the header row and, when expanded, the file rows.
    double height() const;

    // What a point of the card hits.
    struct Hit {
        enum class Kind { none, header, keepFirst, reveal, queue };
        Kind kind = Kind::none;
        std::size_t file = 0; // index into the group's files for reveal and queue
        friend bool operator==(const Hit&, const Hit&) = default;
    };
    Hit hitTest(double width, QPointF point) const;

    // Rectangles of the parts, for hit testing and tests.
    QRectF headerRect(double width) const;
    QRectF keepFirstRect(double width) const;
    QRectF rowRect(double width, std::size_t file) const;
    QRectF revealRect(double width, std::size_t file) const;
    QRectF queueRect(double width, std::size_t file) const;

    void paint(QPainter& painter, double width, const IsQueued& isQueued) const;

    // The texts as drawn (before truncation).
    QString summaryText() const;
    QString wasteText() const;
    static QString roleText(std::size_t file);

    static constexpr double cornerRadius = 12;
    static constexpr double headerPadding = 11;
    static constexpr double rowSpacing = 1;

    static QFont nameFont();
    static QFont summaryFont();
    static QFont wasteFont();
    static QFont keepFirstFont();
    static QFont roleFont();
    static QFont pathFont();

private:
    double headerHeight() const;
    double rowHeight() const;
    QRectF titleBlockRect(double width) const;

    const Theme& m_theme;
    const DuplicateFinder::Group& m_group;
    bool m_expanded;
};

} // namespace tallymere
