#include "views/shell/sidebar/SidebarCurrentView.h"

#include "state/AppState.h"
#include "base/Utf8.h"
#include "platform/UserFolders.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/TextDraw.h"
#include "views/shell/sidebar/TextLine.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <charconv>

namespace tallymere {

namespace {

QFont pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(qRound(9.5));
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

SidebarCurrentView::SidebarCurrentView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_label(new SectionLabel(QStringLiteral("Current View"), std::nullopt, this)),
      m_name(new TextLine(Typography::font(12.5, QFont::DemiBold), [](const Theme& t) { return t.text; },
                          TextDraw::Truncation::middle, 1, this)),
      m_path(new TextLine(pathFont(), [](const Theme& t) { return t.textTertiary; }, TextDraw::Truncation::head, 2, this)),
      m_buttons(new QWidget(this)),
      m_reveal(new ActionButton(QStringLiteral("Reveal"), "arrow.up.forward.app", false, true, {}, m_buttons)),
      m_copy(new ActionButton(QStringLiteral("Copy Path"), "doc.on.clipboard", false, true, {}, m_buttons)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->addWidget(m_label);
    column->addWidget(m_name);
    column->addWidget(m_path);
    auto* row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(0, 2, 0, 0);
    row->setSpacing(6);
    row->addWidget(m_reveal, 1);
    row->addWidget(m_copy, 1);
    column->addWidget(m_buttons);

    // The actions take the node shown when they are pressed.
    auto shown = [this] { return m_state.focus() ? m_state.focus() : m_state.displayRoot(); };
    m_reveal->setAction([this, shown] {
        if (auto node = shown()) m_state.desktop().reveal({node->path()});
    });
    m_copy->setAction([this, shown] {
        if (auto node = shown()) m_state.desktop().copyText(repairUtf8(node->path()));
    });
    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::lastScanDurationChanged})
        connect(&m_state, signal, this, &SidebarCurrentView::refresh);
    refresh();
}

QString SidebarCurrentView::displayName(const FileNode& node) {
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    if (UserFolders::isHome(path)) return QStringLiteral("Home");
    if (node.parent) return TextDraw::oneLine(node.name());
    return TextDraw::oneLine(QString::fromStdString(lastPathComponentText(path)));
}

QString SidebarCurrentView::durationText(double seconds) {
    if (!(seconds > 0)) return {};
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 1);
    return QString::fromLatin1(buffer, int(result.ptr - buffer)) + QStringLiteral("s scan");
}

void SidebarCurrentView::refresh() {
    const QString duration = durationText(m_state.lastScanDuration());
    m_label->setTrailing(duration.isEmpty() ? std::nullopt : std::optional<QString>(duration));
    const AppState::NodePtr& node = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    m_name->setVisible(bool(node));
    m_path->setVisible(bool(node));
    m_buttons->setVisible(bool(node));
    if (!node) return;
    m_name->setText(displayName(*node));
    m_path->setText(TextDraw::oneLine(node->path()));
}

} // namespace tallymere
