#pragma once
#include "views/components/ThemedWidget.h"

#include <QRectF>
#include <QString>

class QVariantAnimation;

namespace tallymere {

class AppState;
class ActionButton;

// The explore tab's screen while a scan runs: "Scanning", the target's title, live counts of files
// read and bytes measured, a sweep bar, the folder being read (its end kept visible) and "Stop".
// A 520-wide column centred in the pane. Everything follows the store's progress, which the store
// refreshes on its own timer; the only motion of the screen's own is the sweep, a runner gliding
// along the bar and back (1.35 s each way, ease-in-out) from the moment the screen is shown. A new
// scan makes a new screen, so the sweep starts again from the left.
class ScanningView : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double columnWidth = 520;
    static constexpr int sweepMs = 1350;

    explicit ScanningView(AppState& state, QWidget* parent = nullptr);

    ActionButton* stopButton() const { return m_stop; }

    // As laid out and shown now.
    QString titleText() const;
    // The title as drawn: whole, or cut to the lines the pane has room for.
    QString shownTitle() const { return m_shownTitle; }
    QString filesText() const;
    QString bytesText() const;
    QRectF titleRect() const { return m_title; }
    QString pathText() const { return m_shownPath; }
    QRectF columnRect() const { return m_column; }
    QRectF filesValueRect() const { return m_filesValue; }
    QRectF bytesValueRect() const { return m_bytesValue; }
    QRectF filesCaptionRect() const { return m_filesCaption; }
    QRectF bytesCaptionRect() const { return m_bytesCaption; }
    // The runner's offset along the bar as a fraction of its width (0 at the left, 0.72 at the right).
    double sweepOffset() const;
    bool isSweeping() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void relayout();
    void paintCounter(class QPainter& painter, const QRectF& value, const QRectF& caption, const QString& text,
                      const QString& captionText);

    AppState& m_state;
    ActionButton* m_stop;
    QVariantAnimation* m_sweep;
    double m_sweepPhase = 0;
    QString m_shownTitle, m_shownFiles, m_shownBytes;
    QString m_shownPath;
    QRectF m_column, m_caption, m_title, m_filesValue, m_filesCaption, m_bytesValue, m_bytesCaption, m_bar, m_path;
};

} // namespace tallymere
