#pragma once
#include "views/components/ThemedWidget.h"

#include <QString>

#include <cstdint>

namespace tallymere {

// What the duplicates tab shows in place of results, centred in all its room: while a search runs,
// a progress bar (320 wide, `accent`) over the stage text and "done of total"; otherwise the empty
// state, a tile with the duplicates symbol over a title and a line of explanation.
class DuplicatesStatePane : public ThemedWidget {
    Q_OBJECT
public:
    explicit DuplicatesStatePane(QWidget* parent = nullptr);

    // The running state with the figures last read from the search.
    void showRunning(const QString& stage, std::int64_t done, std::int64_t total);
    // The empty state; `hasTree` chooses between "nothing found yet" and "scan first".
    void showEmpty(bool hasTree);

    bool isRunning() const { return m_running; }
    QString title() const;
    QString subtitle() const;
    // Done ÷ total, 0 without a total.
    double fraction() const;
    // Where the progress bar and the empty-state tile were drawn (widget coordinates).
    QRectF progressBarRect() const;
    QRectF tileRect() const;

    static constexpr double progressWidth = 320;
    static constexpr double progressHeight = 4;
    static constexpr double tileSize = 62;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_running = false;
    bool m_hasTree = false;
    QString m_stage;
    std::int64_t m_done = 0;
    std::int64_t m_total = 0;
};

} // namespace tallymere
