#pragma once
#include "views/components/TextDraw.h"
#include "views/components/ThemedWidget.h"

#include <functional>

namespace tallymere {

// A passive line of plain text drawn through the shared text helper: a font, a colour taken from
// the current theme, a truncation, and one or two lines. Two-line head truncation wraps at any
// character and keeps the end of the text (for paths). As wide as it is given; as high as its lines.
class TextLine : public ThemedWidget {
    Q_OBJECT
public:
    using Ink = std::function<QColor(const Theme&)>;

    TextLine(QFont font, Ink ink, TextDraw::Truncation truncation = TextDraw::Truncation::tail, int maxLines = 1,
             QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    // The lines as drawn at the current width.
    QStringList shownLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return m_maxLines > 1; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList linesFor(double width) const;

    QFont m_font;
    Ink m_ink;
    TextDraw::Truncation m_truncation;
    int m_maxLines;
    QString m_text;
};

} // namespace tallymere
