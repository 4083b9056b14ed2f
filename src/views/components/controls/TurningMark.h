#pragma once
#include "views/components/ThemedWidget.h"

class QVariantAnimation;

namespace tallymere {

// A small indeterminate progress mark that moves on one of twelve steps at a time, a turn a
// second, and only while it is shown. A subclass paints the mark at step().
class TurningMark : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int steps = 12;

protected:
    explicit TurningMark(QWidget* parent = nullptr);
    // 0...steps - 1, one on every twelfth of a second while shown.
    int step() const { return m_step; }

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_step = 0;
    QVariantAnimation* m_turn;
};

} // namespace tallymere
