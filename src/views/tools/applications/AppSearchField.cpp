#include "views/tools/applications/AppSearchField.h"

#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double symbolSize = 10;
}

AppSearchField::AppSearchField(QWidget* parent) : ThemedWidget(parent), m_editor(new QLineEdit) {
    m_editor->setFrame(false);
    m_editor->setFont(Typography::font(11.5, QFont::Normal));
    m_editor->setPlaceholderText(QStringLiteral("Search apps\u2026"));
    m_editor->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_editor->setTextMargins(0, 0, 0, 0);
    auto* layout = new QHBoxLayout(this);
    const int symbolWidth = int(std::ceil(SymbolImage::size(symbolSize).width()));
    // The glass is painted in the left margin, 6 from the text.
    layout->setContentsMargins(8 + symbolWidth + 6, 5, 8, 5);
    layout->setSpacing(0);
    layout->addWidget(m_editor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_editor, &QLineEdit::textChanged, this, &AppSearchField::textChanged);
    // A click into the field leaves its edge as it is; Tab rings it. Typing does not ring it.
    setFocusProxy(m_editor);
    FocusRing::follow(m_editor, this, FocusRing::Keys::leaveRing);
    m_editor->installEventFilter(this);
    themeChanged();
}

bool AppSearchField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down && !(key->modifiers() & ~Qt::KeypadModifier)) {
            emit downPressed();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            m_editor->clearFocus();
            return true;
        }
    }
    return ThemedWidget::eventFilter(watched, event);
}

QString AppSearchField::text() const { return m_editor->text(); }

void AppSearchField::setText(const QString& text) { m_editor->setText(text); }

void AppSearchField::themeChanged() {
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, theme().text);
    palette.setColor(QPalette::PlaceholderText, theme().textTertiary);
    palette.setColor(QPalette::Highlight, ShapePaint::withOpacity(theme().accent, 0.35));
    palette.setColor(QPalette::HighlightedText, theme().text);
    m_editor->setPalette(palette);
    update();
}

void AppSearchField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF capsule(rect());
    ShapePaint::fillRounded(painter, capsule, ShapePaint::capsuleRadius(capsule), theme().surface);
    if (FocusRing::shown(m_editor)) FocusRing::paint(painter, capsule, ShapePaint::capsuleRadius(capsule), theme());
    else ShapePaint::strokeInside(painter, capsule, ShapePaint::capsuleRadius(capsule), theme().stroke);
    const QSizeF box = SymbolImage::size(symbolSize);
    SymbolImage::draw(painter, QRectF(8, (height() - box.height()) / 2, box.width(), box.height()), "magnifyingglass",
                      symbolSize, QFont::Normal, theme().textTertiary);
}

} // namespace tallymere
