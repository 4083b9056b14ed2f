#pragma once
#include "views/components/TextDraw.h"
#include "views/components/ThemedWidget.h"

namespace tallymere {

// A colour chosen by role, resolved against the theme when drawn.
using AppColor = QColor (*)(const Theme&);

// A passive text of the applications tab: plain text in one font and theme colour, drawn through
// the shared text helper (one line truncated as asked, or several lines split at "\n"). Its size
// is the text's own; laid out wider, it aligns as asked.
class AppText : public ThemedWidget {
    Q_OBJECT
public:
    AppText(const QString& text, const QFont& font, AppColor color,
            TextDraw::Truncation truncation = TextDraw::Truncation::tail,
            Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    QColor color() const { return m_color(theme()); }
    const QFont& font() const { return m_font; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QFont m_font;
    AppColor m_color;
    TextDraw::Truncation m_truncation;
    Qt::Alignment m_alignment;
};

} // namespace tallymere
