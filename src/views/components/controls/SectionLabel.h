#pragma once
#include "views/components/ThemedWidget.h"

#include <QString>

#include <optional>

namespace tallymere {

// The small caption heading a card or a list: the text in capitals (10 bold, tracking 0.9) at the
// left and an optional note (10 medium, as given) at the right end, both in textTertiary. It spans
// the width offered. Passive.
class SectionLabel : public ThemedWidget {
    Q_OBJECT
public:
    explicit SectionLabel(const QString& text = {}, std::optional<QString> trailing = std::nullopt,
                          QWidget* parent = nullptr);

    void setText(const QString& text);
    void setTrailing(std::optional<QString> trailing);
    QString text() const { return m_text; }
    const std::optional<QString>& trailing() const { return m_trailing; }

    // The caption as drawn: upper case by the Unicode mapping, whatever the locale.
    QString caption() const { return m_text.toUpper(); }
    static QFont captionFont();
    static QFont trailingFont();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    std::optional<QString> m_trailing;
};

} // namespace tallymere
