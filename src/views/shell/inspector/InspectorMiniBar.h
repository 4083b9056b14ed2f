#pragma once
#include "state/AppState.h"
#include "views/components/controls/ClickableWidget.h"

#include <cstdint>

namespace tallymere {

// One row of the inspector's "Largest inside" list: a dot in the child's colour, its name and size,
// and under them a bar as long as the child's share of the inspected node (at least 2 wide, so an
// empty child still shows). The whole row takes the click. Holds the child it shows.
class InspectorMiniBar : public ClickableWidget {
    Q_OBJECT
public:
    explicit InspectorMiniBar(QWidget* parent = nullptr);

    // Shows `child` (not null) with its size in the size mode, out of `parentSize` bytes.
    void setChild(AppState::NodePtr child, std::int64_t childSize, std::int64_t parentSize);
    // Lets go of the child (a hidden row must not keep its tree alive); the row then draws nothing.
    void clear();
    const AppState::NodePtr& child() const { return m_child; }
    // The child's share of the parent: 0 when the parent is below 1 byte.
    double fraction() const;
    QString nameText() const { return m_name; }
    QString sizeText() const { return m_size; }

    static constexpr double barHeight = 4;
    static constexpr double minimumBar = 2;
    // Where the filled bar is drawn, in the row's coordinates.
    QRectF barRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double textHeight() const;

    AppState::NodePtr m_child;
    std::int64_t m_childSize = 0;
    std::int64_t m_parentSize = 0;
    QString m_name;
    QString m_size;
};

} // namespace tallymere
