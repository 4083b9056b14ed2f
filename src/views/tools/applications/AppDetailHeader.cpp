#include "views/tools/applications/AppDetailHeader.h"

#include "core/ByteFormat.h"
#include "style/Typography.h"
#include "views/components/controls/Chip.h"
#include "views/components/TextDraw.h"
#include "views/tools/applications/AppIcon.h"
#include "views/tools/applications/AppText.h"
#include "views/tools/applications/UninstallButton.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace tallymere {

namespace {

constexpr int iconSize = 62;

QColor textColor(const Theme& t) { return t.text; }
QColor tertiaryColor(const Theme& t) { return t.textTertiary; }

// The app's icon, stretched into 62 x 62.
class AppIconView : public ThemedWidget {
public:
    explicit AppIconView(const InstalledApp& app) : m_app(app) {
        setFixedSize(iconSize, iconSize);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        AppIcon::paint(painter, QRectF(rect()), m_app, theme(), this);
    }

private:
    InstalledApp m_app;
};

QFont identityFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    return font;
}

} // namespace

AppDetailHeader::AppDetailHeader(const InstalledApp& app, const Theme& theme, std::function<void()> uninstall,
                                 QWidget* parent)
    : ThemedWidget(parent), m_grid(new QGridLayout(this)) {
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(spacing);
    m_grid->setVerticalSpacing(stackedSpacing);

    m_text = new QWidget;
    auto* lines = new QVBoxLayout(m_text);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(4);
    lines->addWidget(new AppText(TextDraw::oneLine(app.name), Typography::font(19, QFont::Bold), textColor));
    auto* chips = new QHBoxLayout;
    chips->setSpacing(6);
    chips->addWidget(new Chip('v' + TextDraw::oneLine(app.version)), 0, Qt::AlignVCenter);
    if (app.isSystem) chips->addWidget(new Chip(QStringLiteral("System"), "lock.fill", theme.warning), 0, Qt::AlignVCenter);
    if (app.lastUsed)
        chips->addWidget(new Chip(QStringLiteral("Used ") + QString::fromStdString(ByteFormat::relative(*app.lastUsed)), "clock"),
                         0, Qt::AlignVCenter);
    chips->addStretch(1);
    lines->addLayout(chips);
    lines->addWidget(new AppText(TextDraw::oneLine(app.bundleID.empty() ? app.path : app.bundleID), identityFont(),
                                 tertiaryColor, TextDraw::Truncation::middle));

    m_grid->addWidget(new AppIconView(app), 0, 0, Qt::AlignVCenter);
    m_grid->addWidget(m_text, 0, 1, Qt::AlignVCenter);
    m_grid->setColumnStretch(1, 1);
    if (!app.isSystem) m_uninstall = new UninstallButton(std::move(uninstall));
    setStacked(false);
}

int AppDetailHeader::sideBySideWidth() const {
    int width = iconSize + spacing + m_text->sizeHint().width();
    if (m_uninstall) width += spacing + m_uninstall->sizeHint().width();
    return width;
}

QSize AppDetailHeader::minimumSizeHint() const {
    int texts = m_text->minimumSizeHint().width();
    if (m_uninstall) texts = std::max(texts, m_uninstall->sizeHint().width());
    return {iconSize + spacing + texts, ThemedWidget::minimumSizeHint().height()};
}

void AppDetailHeader::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    // Decided on the width alone, never on what the move does to the height, so a pane whose scroll
    // bar comes and goes with the height cannot flip it back and forth.
    setStacked(width() < sideBySideWidth());
}

void AppDetailHeader::setStacked(bool stacked) {
    if (!m_uninstall || (stacked == m_stacked && m_grid->indexOf(m_uninstall) >= 0)) return;
    m_stacked = stacked;
    m_grid->removeWidget(m_uninstall);
    if (stacked) m_grid->addWidget(m_uninstall, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    else m_grid->addWidget(m_uninstall, 0, 2, Qt::AlignVCenter);
    m_uninstall->show();
}

} // namespace tallymere
