#include "views/explore/agemap/StalePanel.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/controls/ListScroll.h"
#include "views/explore/agemap/StaleList.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double panelPadding = 12;
constexpr double panelRadius = 14;
constexpr int stackSpacing = 8;
constexpr std::size_t shortestList = 3;

QLabel* textLine(const QFont& font, bool wraps) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(wraps);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void setInk(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

StalePanel::StalePanel(AppState& state, QWidget* parent)
    : Panel(panelPadding, panelRadius, nullptr, parent), m_state(state), m_list(new StaleList(state)),
      m_scroll(ListScroll::make(m_list, nullptr, ListScroll::Bar::beside)), m_message(textLine(Typography::font(11, QFont::Normal), true)),
      m_summary(textLine(Typography::font(11, QFont::DemiBold), false)),
      m_button(new ActionButton(QString(), "trash.fill", false, true, [this] { stageTop(); })) {
    m_message->setText(emptyText());
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(stackSpacing);
    stack->addWidget(new SectionLabel(QStringLiteral("Big & Untouched"), QStringLiteral("over a year old")));
    stack->addWidget(m_message);
    stack->addWidget(m_summary);
    stack->addWidget(m_scroll, 1);
    stack->addWidget(m_button);
    stack->addStretch(0);
    setContent(content);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    themeChanged();
    refresh();
}

void StalePanel::setNodes(AppState::NodePtr keeper, std::vector<const FileNode*> nodes) {
    m_list->setNodes(std::move(keeper), std::move(nodes));
    refresh();
}

QString StalePanel::emptyText() const {
    return QStringLiteral("Nothing over 40\u00A0MB here has gone a year without being touched.");
}

QString StalePanel::summaryText() const {
    std::int64_t total = 0;
    for (const FileNode* node : m_list->nodes()) total += node->bytes(m_state.useAllocatedSize());
    return DisplayText::sizeText(total) + QStringLiteral(" across ") + QString::number(m_list->nodes().size()) +
           QStringLiteral(" items");
}

bool StalePanel::isShowingList() const { return !m_list->nodes().empty(); }

void StalePanel::setListWhole(bool whole) {
    if (whole == m_whole) return;
    m_whole = whole;
    m_scroll->setVerticalScrollBarPolicy(whole ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (whole) m_scroll->verticalScrollBar()->setValue(0);
}

int StalePanel::wholeListExtra() const {
    if (!isShowingList()) return 0;
    return std::max(m_list->sizeHint().height() - m_scroll->minimumHeight(), 0);
}

void StalePanel::stageTop() {
    // Read once: staging never changes the list, and each node meets the queue as the previous ones
    // left it. A file in the Trash would be refused: the next one that can move takes its place.
    for (const FileNode* node : m_state.stageable(m_list->nodes(), stageLimit)) m_state.enqueue(m_list->held(node));
}

void StalePanel::refresh() {
    const bool listed = isShowingList();
    const std::size_t staged = listed ? m_state.stageable(m_list->nodes(), stageLimit).size() : 0;
    m_message->setVisible(!listed);
    m_summary->setVisible(listed);
    m_scroll->setVisible(listed);
    m_button->setVisible(staged > 0);
    if (!listed) return;
    // However short the panel, the list keeps room for its first rows.
    const double rows = static_cast<double>(std::min<std::size_t>(m_list->nodes().size(), shortestList));
    m_scroll->setMinimumHeight(int(std::ceil(rows * StaleList::rowHeight() + (rows - 1) * StaleList::rowSpacing)));
    m_summary->setText(summaryText());
    m_button->setTitle(QStringLiteral("Stage top ") + QString::number(staged) + QStringLiteral(" for cleanup"));
}

void StalePanel::themeChanged() {
    setInk(m_message, theme().textTertiary);
    setInk(m_summary, theme().warning);
}

} // namespace tallymere
