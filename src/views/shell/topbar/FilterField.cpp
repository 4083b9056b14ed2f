#include "views/shell/topbar/FilterField.h"

#include "state/AppState.h"
#include "core/NodeFilter.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/KeyStop.h"
#include "views/components/canvas/ShapePaint.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double padX = 9, padY = 5.5, spacing = 6;
constexpr double searchSymbol = 11, clearSymbol = 10;
// The border's accent while the field is typed in; the ring is the bolder mark of the keyboard.
constexpr double typingOpacity = 0.45;
QFont fieldFont() { return Typography::font(12, QFont::Normal); }
} // namespace

FilterField::FilterField(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_edit(new QLineEdit(this)), m_clearStop(new KeyStop([this] {
          m_edit->setFocus(Qt::OtherFocusReason);
          write(QString());
          follow();
      }, this)) {
    m_clearStop->setObjectName(QStringLiteral("clear"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_edit->setFrame(false);
    m_edit->setFont(fieldFont());
    m_edit->setPlaceholderText(QStringLiteral("Filter by name…"));
    m_edit->setFixedWidth(fieldWidth);
    // Entered by a click or by Tab; the window keeps the keyboard itself when it opens, so the
    // caret does not wait in here.
    m_edit->setFocusPolicy(Qt::StrongFocus);
    // A press on the capsule around the field, the clear button's included, leaves the keyboard
    // where it is: the walk up from the pressed widget for one that takes a click's focus stops
    // here when the field already holds it, instead of handing it to the window.
    setFocusProxy(m_edit);
    // Typing does not ring the field: only a keyboard way in does.
    FocusRing::follow(m_edit, this, FocusRing::Keys::leaveRing);
    m_edit->installEventFilter(this);
    stylePalette();
    connect(m_edit, &QLineEdit::textEdited, this, &FilterField::write);
    connect(&m_state, &AppState::filterChanged, this, &FilterField::follow);
    follow();
}

void FilterField::stylePalette() {
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, theme().text);
    palette.setColor(QPalette::PlaceholderText, theme().textTertiary);
    palette.setColor(QPalette::Highlight, ShapePaint::withOpacity(theme().accent, 0.3));
    palette.setColor(QPalette::HighlightedText, theme().text);
    m_edit->setPalette(palette);
}

void FilterField::themeChanged() {
    stylePalette();
    update();
}

void FilterField::write(const QString& query) {
    NodeFilter filter = m_state.filter();
    filter.query = query.toStdString();
    m_state.setFilter(filter);
    update();
}

void FilterField::follow() {
    const QString query = QString::fromStdString(m_state.filter().query);
    // The field's own edits come back unchanged; only another writer moves the text.
    if (m_edit->text() != query) m_edit->setText(query);
    // The capsule makes room for the clear button only while there is something to clear.
    const bool clearable = !query.isEmpty();
    if (clearable != m_clearable) {
        m_clearable = clearable;
        updateGeometry();
    }
    m_clearStop->place(clearRect(), clearRect().height());
    update();
}

bool FilterField::isFocused() const { return m_edit->hasFocus(); }

QRectF FilterField::clearRect() const {
    if (m_state.filter().query.empty()) return {};
    const QSizeF size = SymbolImage::size(clearSymbol);
    return QRectF(QPointF(m_edit->geometry().right() + 1 + spacing, height() / 2.0 - size.height() / 2), size);
}

QSize FilterField::sizeHint() const {
    double content = SymbolImage::size(searchSymbol).width() + spacing + fieldWidth;
    if (m_clearable) content += spacing + SymbolImage::size(clearSymbol).width();
    const double height = std::max(SymbolImage::size(searchSymbol).height(), double(m_edit->sizeHint().height()));
    return {int(std::ceil(content + 2 * padX)), int(std::ceil(std::min(height, 17.0) + 2 * padY))};
}

void FilterField::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    const int left = int(std::ceil(padX + SymbolImage::size(searchSymbol).width() + spacing));
    const int editHeight = std::min(m_edit->sizeHint().height(), height());
    m_edit->setGeometry(left, (height() - editHeight) / 2, fieldWidth, editHeight);
    m_clearStop->place(clearRect(), clearRect().height());
}

bool FilterField::eventFilter(QObject* watched, QEvent* event) {
    // Escape leaves the field and keeps what was typed.
    if (watched == m_edit && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_edit->clearFocus();
        return true;
    }
    return ThemedWidget::eventFilter(watched, event);
}

void FilterField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& t = theme();
    const QRectF capsule(rect());
    const double radius = ShapePaint::capsuleRadius(capsule);
    ShapePaint::fillRounded(painter, capsule, radius, t.surface);
    // Holding the keyboard, the border takes the accent at 0.45; reached by the keyboard, it becomes
    // the same ring as every other control's.
    if (FocusRing::shown(m_edit)) FocusRing::paint(painter, capsule, radius, t);
    else ShapePaint::strokeInside(painter, capsule, radius, isFocused() ? ShapePaint::withOpacity(t.accent, typingOpacity) : t.stroke);
    const QSizeF glass = SymbolImage::size(searchSymbol);
    SymbolImage::draw(painter, QRectF(QPointF(padX, height() / 2.0 - glass.height() / 2), glass), "magnifyingglass",
                      searchSymbol, QFont::DemiBold, t.textTertiary);
    const QRectF clear = clearRect();
    if (!clear.isEmpty()) {
        if (m_clearPressed) painter.setOpacity(0.7);
        SymbolImage::draw(painter, clear, "xmark.circle.fill", clearSymbol, QFont::Normal, t.textTertiary);
    }
}

void FilterField::mousePressEvent(QMouseEvent* event) {
    const QRectF clear = clearRect().adjusted(-3, -3, 3, 3);
    m_clearPressed = event->button() == Qt::LeftButton && clear.contains(event->position());
    if (!m_clearPressed) m_edit->setFocus(Qt::MouseFocusReason);
    update();
    event->accept();
}

void FilterField::mouseReleaseEvent(QMouseEvent* event) {
    const bool pressed = m_clearPressed;
    m_clearPressed = false;
    update();
    // Clearing leaves the keyboard focus where it was.
    if (pressed && clearRect().adjusted(-3, -3, 3, 3).contains(event->position())) write(QString());
    follow();
}

} // namespace tallymere
