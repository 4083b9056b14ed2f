#include "views/shell/inspector/InspectorView.h"

#include "services/TrashService.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/ListScroll.h"
#include "views/components/controls/Panel.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/controls/StatRow.h"
#include "views/shell/inspector/InspectorIdentity.h"
#include "views/shell/inspector/InspectorMiniBar.h"
#include "views/components/FocusChain.h"
#include "views/shell/inspector/InspectorModel.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tallymere {

namespace {

constexpr int columnPadding = 13;
constexpr int blockSpacing = 14;
constexpr double panelPadding = 11;
constexpr double panelRadius = 14;

QVBoxLayout* stack(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

std::optional<QColor> tintColor(const Theme& theme, InspectorModel::Tint tint) {
    switch (tint) {
    case InspectorModel::Tint::accentSecondary: return theme.accentSecondary;
    case InspectorModel::Tint::success: return theme.success;
    case InspectorModel::Tint::textSecondary: return theme.textSecondary;
    case InspectorModel::Tint::warning: return theme.warning;
    default: return std::nullopt;
    }
}

double now() { return static_cast<double>(QDateTime::currentSecsSinceEpoch()); }

} // namespace

InspectorView::InspectorView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      // A column taller than the window scrolls by the wheel and the keyboard, with no bar.
      m_scroll(ListScroll::make(nullptr, this, ListScroll::Bar::hidden)) {
    setFixedWidth(columnWidth);
    // It fills itself with the background: the window need not paint beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* outer = stack(this, 0);
    outer->addWidget(m_scroll);

    auto* content = new ThemedWidget;
    auto* column = stack(content, blockSpacing);
    column->setContentsMargins(columnPadding, columnPadding, columnPadding, columnPadding);

    m_placeholder = new QLabel(QStringLiteral("Select something to inspect it."), content);
    m_placeholder->setFont(Typography::font(11.5, QFont::Normal));
    m_placeholder->setContentsMargins(0, 30, 0, 0);
    m_placeholder->setWordWrap(true);
    column->addWidget(m_placeholder);

    m_identity = new InspectorIdentity(content);
    column->addWidget(m_identity);
    buildDetails(content);
    buildComposition(content);
    buildActions(content);
    column->addStretch(1);
    column->addSpacing(6);
    m_scroll->setWidget(content);

    for (auto signal : {&AppState::selectionChanged, &AppState::hoveredChanged, &AppState::focusChanged,
                        &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &InspectorView::refresh);
    connect(&m_state, &AppState::queueChanged, this, &InspectorView::updateCleanupButton);
    themeChanged();
    refresh();
}

void InspectorView::buildDetails(QWidget* content) {
    auto* body = new QWidget;
    auto* layout = stack(body, 6);
    layout->addWidget(new SectionLabel(QStringLiteral("Details"), std::nullopt, body));
    m_details = new Panel(panelPadding, panelRadius, body, content);
    content->layout()->addWidget(m_details);
}

void InspectorView::buildComposition(QWidget* content) {
    auto* body = new QWidget;
    auto* layout = stack(body, 7);
    m_compositionLabel = new SectionLabel(QStringLiteral("Largest inside"), QString(), body);
    // The rows are one stop of Tab; the arrows walk them.
    FocusChain::makeGroup(body);
    layout->addWidget(m_compositionLabel);
    for (InspectorMiniBar*& bar : m_childRows) {
        bar = new InspectorMiniBar(body);
        InspectorMiniBar* self = bar;
        bar->setAction([this, self] { openChild(self->child()); });
        layout->addWidget(bar);
    }
    m_composition = new Panel(panelPadding, panelRadius, body, content);
    content->layout()->addWidget(m_composition);
}

void InspectorView::buildActions(QWidget* content) {
    m_actions = new QWidget(content);
    auto* layout = stack(m_actions, 6);
    m_reveal = new ActionButton(QStringLiteral("Reveal"), "arrow.up.forward.app", false, true, [this] {
        if (const AppState::NodePtr node = m_node) TrashService::revealInFinder(m_state.desktop(), {node->path()});
    });
    m_quickLook = new ActionButton(QStringLiteral("Quick Look"), "eye.fill", false, true, [this] {
        if (const AppState::NodePtr node = m_node) m_state.desktop().preview({node->path()});
    });
    m_focus = new ActionButton(QStringLiteral("Focus"), "scope", false, true, [this] { focusNode(); });
    m_copyPath = new ActionButton(QStringLiteral("Copy Path"), "doc.on.clipboard", false, true, [this] {
        // The clipboard holds text: a name that is not UTF-8 goes with its bytes repaired.
        if (const AppState::NodePtr node = m_node) m_state.desktop().copyText(node->displayPath());
    });
    m_cleanup = new ActionButton(QStringLiteral("Add to Cleanup"), "trash.fill", true, false, [this] {
        if (const AppState::NodePtr node = m_node) m_state.toggleQueue(node);
    });
    auto* first = row(6);
    first->addWidget(m_reveal);
    first->addWidget(m_quickLook);
    auto* second = row(6);
    second->addWidget(m_focus);
    second->addWidget(m_copyPath);
    layout->addLayout(first);
    layout->addLayout(second);
    layout->addWidget(m_cleanup);
    content->layout()->addWidget(m_actions);
}

void InspectorView::refresh() {
    const AppState::NodePtr& node = m_state.selection()  ? m_state.selection()
                                    : m_state.hovered()  ? m_state.hovered()
                                    : m_state.focus()    ? m_state.focus()
                                                         : m_state.displayRoot();
    if (m_described && node == m_node && m_shownRoot == m_state.displayRoot() &&
        m_shownAllocated == m_state.useAllocatedSize())
        return;
    describe(node);
}

void InspectorView::describe(const AppState::NodePtr& node) {
    m_described = true;
    m_node = node;
    m_shownRoot = m_state.displayRoot();
    m_shownAllocated = m_state.useAllocatedSize();

    const bool hasNode = node != nullptr;
    m_placeholder->setVisible(!hasNode);
    m_identity->setVisible(hasNode);
    m_details->setVisible(hasNode);
    m_actions->setVisible(hasNode);
    if (!hasNode) {
        // Nothing on display (a new scan started): the blocks let go of what they showed, which
        // would otherwise keep the whole old tree alive.
        m_identity->clear();
        for (InspectorMiniBar* bar : m_childRows) bar->clear();
        m_composition->setVisible(false);
        return;
    }
    const bool allocated = m_shownAllocated;
    m_identity->describe(node, allocated, m_state.share(node.get()));

    const std::vector<InspectorModel::Fact> facts = InspectorModel::facts(*node, allocated, now());
    QWidget* body = m_details->content();
    while (m_detailRows.size() < facts.size()) {
        m_detailRows.push_back(new StatRow(QString(), QString(), std::nullopt, body));
        body->layout()->addWidget(m_detailRows.back());
    }
    for (std::size_t i = 0; i < m_detailRows.size(); ++i) {
        StatRow* statRow = m_detailRows[i];
        statRow->setVisible(i < facts.size());
        if (i >= facts.size()) continue;
        statRow->setLabel(facts[i].label);
        statRow->setValue(facts[i].value);
        statRow->setTint(tintColor(theme(), facts[i].tint));
    }

    const std::vector<const FileNode*> largest = InspectorModel::largestChildren(*node, allocated, maxChildren);
    m_composition->setVisible(!largest.empty());
    if (largest.empty()) {
        for (InspectorMiniBar* bar : m_childRows) bar->clear();
    } else {
        m_compositionLabel->setTrailing(QString::number(node->childCount()) + QStringLiteral(" items"));
        const std::int64_t parentSize = node->bytes(allocated);
        for (std::size_t i = 0; i < m_childRows.size(); ++i) {
            InspectorMiniBar* bar = m_childRows[i];
            bar->setVisible(i < largest.size());
            if (i >= largest.size()) {
                bar->clear();
                continue;
            }
            // Shares the inspected node's hold on the tree.
            AppState::NodePtr child(node, const_cast<FileNode*>(largest[i]));
            const std::int64_t childSize = child->bytes(allocated);
            bar->setChild(std::move(child), childSize, parentSize);
        }
    }
    m_focus->setVisible(InspectorModel::canFocus(*node));
    updateCleanupButton();
}

void InspectorView::updateCleanupButton() {
    const bool queued = m_node && m_state.isQueued(m_node.get());
    m_cleanup->setTitle(queued ? QStringLiteral("Remove from Cleanup") : QStringLiteral("Add to Cleanup"));
    m_cleanup->setSymbol(queued ? "minus.circle.fill" : "trash.fill");
    m_cleanup->setProminent(!queued);
}

void InspectorView::openChild(const AppState::NodePtr& child) {
    if (!child) return;
    const AppState::NodePtr held = child; // the rows are refilled while the store announces the change
    m_state.setSelection(held);
    if (InspectorModel::canFocus(*held)) m_state.drill(held);
}

void InspectorView::focusNode() {
    const AppState::NodePtr node = m_node;
    if (!node || !InspectorModel::canFocus(*node)) return;
    m_state.setFocus(node);
    m_state.setSelection(nullptr);
}

std::vector<std::pair<QString, QString>> InspectorView::detailRows() const {
    std::vector<std::pair<QString, QString>> rows;
    for (const StatRow* statRow : m_detailRows)
        if (!statRow->isHidden()) rows.emplace_back(statRow->label(), statRow->value());
    return rows;
}

std::vector<const InspectorMiniBar*> InspectorView::childRows() const {
    std::vector<const InspectorMiniBar*> rows;
    if (m_composition->isHidden()) return rows;
    for (const InspectorMiniBar* bar : m_childRows)
        if (!bar->isHidden()) rows.push_back(bar);
    return rows;
}

QString InspectorView::childCountText() const {
    return m_composition->isHidden() ? QString() : m_compositionLabel->trailing().value_or(QString());
}

bool InspectorView::isCompositionShown() const { return !m_composition->isHidden(); }

ActionButton* InspectorView::button(const QString& title) const {
    for (ActionButton* b : {m_reveal, m_quickLook, m_focus, m_copyPath, m_cleanup})
        if (b->title() == title && !b->isHidden() && !m_actions->isHidden()) return b;
    return nullptr;
}

void InspectorView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), theme().background);
}

void InspectorView::themeChanged() {
    QPalette palette = m_placeholder->palette();
    palette.setColor(QPalette::WindowText, theme().textTertiary);
    m_placeholder->setPalette(palette);
    // The scroll area shows the column's own background through it.
    QPalette clear = m_scroll->viewport()->palette();
    clear.setColor(QPalette::Window, theme().background);
    m_scroll->viewport()->setPalette(clear);
    m_scroll->viewport()->setAutoFillBackground(true);
    // The detail tints are theme colours: describe the node again in the new palette.
    if (m_node) {
        m_described = false;
        refresh();
    }
    update();
}

} // namespace tallymere
