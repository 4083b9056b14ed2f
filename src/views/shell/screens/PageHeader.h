#pragma once
#include "views/components/ThemedWidget.h"

#include <QRectF>
#include <QString>

namespace tallymere {

class AppState;
class FileNode;
class KeyStop;

// The explore page's header: the shown folder's title (27 semibold, tracking -0.3, one line,
// shortened in the middle), its size and file and folder counts, and at the right end a
// "Reveal in Finder" button. The folder is the focus, else the displayed root. Sized from the
// store's focus, displayed root and size mode; no other state. The button is a stop of Tab.
class PageHeader : public ThemedWidget {
    Q_OBJECT
public:
    explicit PageHeader(AppState& state, QWidget* parent = nullptr);

    // What is shown now.
    QString title() const { return m_title; }
    QString shownTitle() const { return m_shownTitle; }
    QString sizeText() const { return m_size; }
    QString filesText() const { return m_files; }
    QString foldersText() const { return m_folders; } // empty without subfolders
    QRectF titleRect() const { return m_titleRect; }
    QRectF revealRect() const { return m_revealRect; }

    // The counts as the header writes them: grouped digits and always the plural word.
    static QString countText(long long count, const char* word);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void themeChanged() override { relayout(); }

private:
    void refresh();
    void relayout();
    void reveal();
    double baseline() const;

    AppState& m_state;
    QString m_title, m_shownTitle, m_size, m_files, m_folders;
    QRectF m_titleRect, m_revealRect;
    double m_figuresLeft = 0;
    bool m_pressed = false;
    KeyStop* m_revealStop;
};

} // namespace tallymere
