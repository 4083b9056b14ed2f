#include "views/tools/applications/AppListColumn.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/IconToggle.h"
#include "views/components/controls/SectionLabel.h"
#include "views/tools/applications/AppRow.h"
#include "views/tools/applications/AppSearchField.h"
#include "views/tools/applications/AppText.h"
#include "views/tools/applications/AppsText.h"
#include "views/tools/applications/AppLoadSpinner.h"
#include "views/tools/applications/OrphanRow.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/ListScroll.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

namespace tallymere {

namespace {

QColor tertiary(const Theme& theme) { return theme.textTertiary; }

QWidget* loadingPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(new AppLoadSpinner, 0, Qt::AlignHCenter);
    layout->addWidget(new AppText(QStringLiteral("Measuring every app and its leftovers\u2026"), Typography::font(11, QFont::Normal),
                                  tertiary, TextDraw::Truncation::tail, Qt::AlignCenter),
                      0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

} // namespace

AppListColumn::AppListColumn(Actions actions, QWidget* parent) : ThemedWidget(parent), m_actions(std::move(actions)) {
    setFixedWidth(columnWidth);

    m_search = new AppSearchField;
    connect(m_search, &AppSearchField::textChanged, this, [this](const QString& text) {
        if (m_actions.queryChanged) m_actions.queryChanged(text);
    });
    connect(m_search, &AppSearchField::downPressed, this, &AppListColumn::focusApps);
    m_systemToggle = new IconToggle("gearshape.fill", QStringLiteral("Show Apple system apps"), false, [this] {
        if (m_actions.toggleSystem) m_actions.toggleSystem();
    });
    m_rescanToggle = new IconToggle("arrow.clockwise", QStringLiteral("Rescan applications"), false, [this] {
        if (m_actions.rescan) m_actions.rescan();
    });
    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 10, 10, 10);
    header->setSpacing(8);
    header->addWidget(m_search, 1, Qt::AlignVCenter);
    header->addWidget(m_systemToggle, 0, Qt::AlignVCenter);
    header->addWidget(m_rescanToggle, 0, Qt::AlignVCenter);

    auto* list = new QWidget;
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 12);
    listLayout->setSpacing(1);
    // The apps are one stop of Tab, and the leftovers another; the arrows walk each.
    m_appRows = new QWidget;
    FocusChain::makeGroup(m_appRows);
    m_rowsLayout = new QVBoxLayout(m_appRows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(1);
    listLayout->addWidget(m_appRows);

    m_orphanSection = new QWidget;
    FocusChain::makeGroup(m_orphanSection);
    auto* section = new QVBoxLayout(m_orphanSection);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(4);
    m_orphanLabel = new SectionLabel(QStringLiteral("Leftovers from removed apps"), QString());
    auto* labelBox = new QVBoxLayout;
    labelBox->setContentsMargins(12, 14, 12, 2);
    labelBox->addWidget(m_orphanLabel);
    section->addLayout(labelBox);
    m_orphanLayout = new QVBoxLayout;
    m_orphanLayout->setContentsMargins(0, 0, 0, 0);
    m_orphanLayout->setSpacing(4);
    section->addLayout(m_orphanLayout);
    m_orphanSection->hide();
    listLayout->addWidget(m_orphanSection);
    listLayout->addStretch(1);

    m_scroll = new QScrollArea;
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setWidget(list);
    list->setAutoFillBackground(false); // setWidget() turned it on: the column paints its own

    m_stack = new QStackedWidget;
    m_stack->addWidget(m_scroll);
    m_stack->addWidget(loadingPage());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(header);
    column->addWidget(m_stack, 1);
}

void AppListColumn::setApps(const std::vector<InstalledApp>& apps) {
    for (AppRow* row : m_rows) {
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater(); // a row may be running its own click handler
    }
    m_rows.clear();
    m_apps = apps;
    for (const InstalledApp& app : m_apps) {
        auto* row = new AppRow(app, [this, path = app.path] {
            for (const InstalledApp& candidate : m_apps)
                if (candidate.path == path && m_actions.select) return m_actions.select(candidate);
        });
        row->setEnter([this] {
            if (m_actions.enterDetail) m_actions.enterDetail();
        });
        m_rowsLayout->addWidget(row);
        m_rows.push_back(row);
    }
    applyFilter();
    setSelectedPath(m_selected);
}

void AppListColumn::setOrphans(const std::vector<LeftoverItem>& orphans) {
    // The row that holds the keyboard, itself or by its button, whose place the keyboard keeps.
    QWidget* focused = QApplication::focusWidget();
    const auto held = std::find_if(m_orphanRows.begin(), m_orphanRows.end(),
                                   [focused](OrphanRow* row) { return row == focused || row->isAncestorOf(focused); });
    const int keyRow = held == m_orphanRows.end() ? -1 : int(held - m_orphanRows.begin());
    for (OrphanRow* row : m_orphanRows) {
        m_orphanLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_orphanRows.clear();
    m_orphanLabel->setTrailing(DisplayText::sizeText(AppsText::sizeOf(orphans)));
    for (std::size_t i = 0; i < std::min(orphans.size(), AppsText::maxOrphans); ++i) {
        const LeftoverItem item = orphans[i];
        auto* row = new OrphanRow(item, {.stage = [this, item] { if (m_actions.stage) m_actions.stage(item); },
                                         .reveal = [this, item] { if (m_actions.reveal) m_actions.reveal(item.path); },
                                         .copyPath = [this, item] { if (m_actions.copyPath) m_actions.copyPath(item.path); }});
        m_orphanLayout->addWidget(row);
        m_orphanRows.push_back(row);
    }
    m_orphanSection->setVisible(!orphans.empty());
    // A leftover gone from under the keyboard hands it to the one now in its place (the one before
    // it, when it was the last); the last one gone, to the apps above, else the rescan toggle.
    if (keyRow < 0) return;
    QWidget* next = m_rescanToggle;
    if (!m_orphanRows.empty()) next = m_orphanRows[std::size_t(std::min(keyRow, int(m_orphanRows.size()) - 1))];
    else if (focusApps()) next = QApplication::focusWidget();
    next->setFocus(Qt::OtherFocusReason);
    FocusRing::setShown(next, true);
    FocusChain::bringIntoView(next);
}

void AppListColumn::setFilter(const QString& query, bool showSystem) {
    m_query = query;
    m_showSystem = showSystem;
    m_systemToggle->setOn(showSystem);
    applyFilter();
}

void AppListColumn::applyFilter() {
    std::unordered_set<std::string> shown;
    for (const InstalledApp* app : AppsText::filtered(m_apps, m_query, m_showSystem)) shown.insert(app->path);
    for (AppRow* row : m_rows) row->setVisible(shown.contains(row->app().path));
}

void AppListColumn::setSelectedPath(const std::optional<std::string>& path) {
    m_selected = path;
    for (AppRow* row : m_rows) row->setSelected(path && row->app().path == *path);
}

bool AppListColumn::focusApps() {
    AppRow* target = nullptr;
    for (AppRow* row : visibleRows()) {
        if (row->isSelected()) {
            target = row;
            break;
        }
        if (!target) target = row;
    }
    if (!target) return false;
    target->setFocus(Qt::OtherFocusReason);
    FocusChain::bringIntoView(target);
    return true;
}

void AppListColumn::setLoading(bool loading) { m_stack->setCurrentIndex(loading ? 1 : 0); }

bool AppListColumn::isShowingProgress() const { return m_stack->currentIndex() == 1; }

std::vector<AppRow*> AppListColumn::visibleRows() const {
    std::vector<AppRow*> rows;
    for (AppRow* row : m_rows)
        if (!row->isHidden()) rows.push_back(row);
    return rows;
}

void AppListColumn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), theme().background);
}

} // namespace tallymere
