#include "views/shell/sidebar/SidebarFileTypes.h"

#include "state/AppState.h"
#include "core/CategoryIndex.h"
#include "core/NodeFilter.h"
#include "style/Typography.h"
#include "views/components/controls/CategoryBar.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/ClickableWidget.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/SectionLabel.h"
#include "views/shell/sidebar/CategoryRow.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace tallymere {

namespace {

// "Clear filter": accent text, no chrome.
class ClearFilterButton : public ClickableWidget {
public:
    explicit ClearFilterButton(QWidget* parent) : ClickableWidget({}, parent) {
        setObjectName(QStringLiteral("clearFilter"));
        FocusRing::drawOutside(this, 3, 4);
    }
    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return {int(std::ceil(metrics.horizontalAdvance(text()))) + 1, int(std::ceil(metrics.height())) + 2};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        if (isPressed()) painter.setOpacity(pressedOpacity);
        painter.setFont(font());
        painter.setPen(theme().accent);
        painter.drawText(QRectF(0, 2, width(), height() - 2), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    static QFont font() { return Typography::font(10.5, QFont::DemiBold); }
    static QString text() { return QStringLiteral("Clear filter"); }
};

} // namespace

SidebarFileTypes::SidebarFileTypes(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_column(new QVBoxLayout(this)),
      m_label(new SectionLabel(QStringLiteral("File Types"), std::nullopt, this)), m_bar(new CategoryBar({}, 7, this)),
      m_clear(new ClearFilterButton(this)) {
    m_clear->setAction([this] {
        NodeFilter filter = m_state.filter();
        filter.categories.clear();
        m_state.setFilter(filter);
    });
    // The rows are one stop of Tab, which the arrows walk; "Clear filter" is a stop of its own.
    FocusChain::makeGroup(this);
    FocusChain::keepOutOfGroup(m_clear);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(7);
    m_column->addWidget(m_label);
    // The bar stands 2 above the rows.
    auto* barBox = new QVBoxLayout;
    barBox->setContentsMargins(0, 0, 0, 2);
    barBox->addWidget(m_bar);
    m_column->addLayout(barBox);
    for (FileCategory category : FileCategories::selectable) {
        auto* row = new CategoryRow(m_state, category, 0, this);
        row->hide();
        m_column->addWidget(row);
        m_rows.push_back(row);
    }
    m_column->addWidget(m_clear, 0, Qt::AlignLeft);
    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &SidebarFileTypes::refreshTotals);
    connect(&m_state, &AppState::filterChanged, this, &SidebarFileTypes::refreshFilter);
    refreshTotals();
    refreshFilter();
}

void SidebarFileTypes::refreshTotals() {
    const AppState::NodePtr& start = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    const AppState::NodePtr& tree = m_state.displayRoot();
    const bool allocated = m_state.useAllocatedSize();
    if (start == m_forStart && tree == m_forTree && allocated == m_forAllocated && m_walks > 0) return;
    m_forStart = start;
    m_forTree = tree;
    m_forAllocated = allocated;
    const std::shared_ptr<const CategoryIndex>& index = m_state.categoryIndex();
    if (!start) m_totals = {};
    else if (index) m_totals = index->totals(*start, allocated);
    else m_totals = CategoryTotals::of(*start, allocated);
    ++m_walks;
    showTotals();
}

void SidebarFileTypes::showTotals() {
    const double total = double(m_totals.total());
    std::vector<CategoryBar::Segment> segments;
    m_shownRows.clear();
    for (CategoryRow* row : m_rows) {
        const std::int64_t bytes = m_totals.of(row->category());
        const bool shown = bytes > 0;
        if (shown) {
            segments.emplace_back(row->category(), double(bytes) / total);
            row->setBytes(bytes);
            m_shownRows.push_back(row);
        }
        // Hiding or showing a row moves what lies below it: only a change of the set does that.
        if (row->isHidden() == shown) row->setVisible(shown);
    }
    if (segments != m_bar->segments()) m_bar->setSegments(std::move(segments));
}

void SidebarFileTypes::refreshFilter() {
    const std::size_t on = m_state.filter().categories.size();
    m_label->setTrailing(on ? std::optional<QString>(QString::number(on) + QStringLiteral(" on")) : std::nullopt);
    m_clear->setVisible(on > 0);
}

} // namespace tallymere
