#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QPointer>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class QMessageBox;
class QVariantAnimation;

namespace tallymere {

class CleanupQueueList;
class ClickableWidget;

// The strip at the foot of the window while items are staged: how many and how much they hold,
// the startup volume's free space now and after the Trash is emptied, and the ways out: "Clear"
// unstages everything at once; "Move to Trash" asks first, then moves every item to the Trash
// through the store, which reports the outcome. A disclosure control opens the list of staged items
// above the row (under a spring), where single items can be unstaged. Nothing here deletes.
// When the queue empties the list closes, so the bar comes back collapsed.
class CleanupBar : public ThemedWidget {
    Q_OBJECT
public:
    explicit CleanupBar(AppState& state, QWidget* parent = nullptr);

    // The free space of the first volume now and once the staged bytes are freed (never above its
    // capacity); none without a volume or with one of no capacity.
    struct Reclaim {
        std::int64_t now = 0;
        std::int64_t after = 0;
        friend bool operator==(const Reclaim&, const Reclaim&) = default;
    };
    static std::optional<Reclaim> reclaim(const std::vector<VolumeInfo>& volumes, std::int64_t queueTotal);

    // "3 items staged", "1 item staged": the count in plain digits.
    static QString countText(std::size_t count);
    static QString confirmationTitle(std::size_t count);
    static QString confirmationMessage(std::int64_t queueTotal);

    bool isExpanded() const { return m_expanded; }
    // Opens or closes the list of staged items (the disclosure control's action).
    void toggleExpanded();
    // Asks whether to move the staged items to the Trash (the "Move to Trash" button's action);
    // nothing while the store is moving them (the button is faded then, and the count goes down).
    void confirmMove();
    // The question while it is asked; null otherwise.
    QMessageBox* confirmation() const;
    bool isConfirming() const;

    CleanupQueueList* list() const { return m_list; }
    ClickableWidget* disclosure() const { return m_disclosure; }
    ClickableWidget* clearButton() const { return m_clear; }
    ClickableWidget* trashButton() const { return m_trash; }

    // The spring the list opens and closes with: response 0.3 s, damping 0.85.
    static constexpr double springResponse = 0.3;
    static constexpr double springDamping = 0.85;
    // With animation off (tests) the list opens and closes at once.
    void setAnimated(bool animated) { m_animated = animated; }

signals:
    // The bar's preferred height changed (the list opening or closing): its container lays out again.
    void heightChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    // Closes the list at once: the bar starts afresh whenever the queue fills again.
    void reset();
    void setListHeight(double height);

    AppState& m_state;
    bool m_expanded = false;
    bool m_animated = true;
    CleanupQueueList* m_list;
    ClickableWidget* m_disclosure;
    QWidget* m_pill;
    ClickableWidget* m_clear;
    ClickableWidget* m_trash;
    QVariantAnimation* m_spring;
    double m_springFrom = 0;
    double m_springTo = 0;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace tallymere
