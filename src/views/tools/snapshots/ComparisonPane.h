#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "views/tools/snapshots/SnapshotPairing.h"

#include <QRectF>
#include <QString>
#include <QStringList>

class QScrollArea;

namespace tallymere {

class AppState;
class DeltaList;
class KeyStop;

// The right column of the snapshots tab. Until both sides are chosen: a placeholder that says how
// to choose them. Then a header (the two capture times, the two totals, the net change, chips
// counting what grew and shrank, "Reset") over either "Nothing moved by more than 10 MB" or the
// list of changes. The header reads BEFORE to AFTER as the sides were picked, matching their
// labels; the list and the chips read from the older snapshot to the newer. Reads the tab's
// pairing; writes it only through resetRequested(). "Reset" is a stop of Tab, pressed by Space or
// Return.
class ComparisonPane : public ThemedWidget {
    Q_OBJECT
public:
    ComparisonPane(AppState& state, const SnapshotPairing& pairing, QWidget* parent = nullptr);

    // Re-reads the pairing after the tab changed it.
    void refresh();

    // The header's texts and counts as drawn.
    QString dateLine() const;
    // The date line as drawn: whole, or broken after its arrow when the header has too little room.
    QStringList dateLines() const;
    QString netChangeText() const;
    QColor netChangeColor() const;
    std::size_t grewCount() const;
    std::size_t shrankCount() const;

    bool showsPlaceholder() const { return !m_pairing.isComplete(); }
    QRectF headerRect() const;
    QRectF resetRect() const;
    QRectF tileRect() const;
    QRectF grewChipRect() const;
    QRectF shrankChipRect() const;
    DeltaList* deltaList() const { return m_list; }

signals:
    void resetRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void layoutChildren();
    double dateRoom() const;
    void paintHeader(QPainter& painter) const;

    AppState& m_state;
    const SnapshotPairing& m_pairing;
    QScrollArea* m_scroll;
    DeltaList* m_list;
    KeyStop* m_resetStop;
};

} // namespace tallymere
