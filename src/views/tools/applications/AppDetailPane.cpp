#include "views/tools/applications/AppDetailPane.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/ListScroll.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/Panel.h"
#include "views/components/controls/SectionLabel.h"
#include "views/tools/applications/AppDetailHeader.h"
#include "views/tools/applications/AppEmptyState.h"
#include "views/tools/applications/AppText.h"
#include "views/tools/applications/AppsText.h"
#include "views/tools/applications/FootprintBar.h"
#include "views/tools/applications/LeftoverRow.h"
#include "views/tools/applications/LegendItem.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tallymere {

namespace {

QColor tertiaryColor(const Theme& t) { return t.textTertiary; }
QColor accentColor(const Theme& t) { return t.accent; }
QColor warningColor(const Theme& t) { return t.warning; }

QVBoxLayout* column(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

AppDetailPane::AppDetailPane(Actions actions, QWidget* parent) : ThemedWidget(parent), m_actions(std::move(actions)) {
    m_scroll = new QScrollArea;
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_stack = new QStackedWidget;
    m_stack->addWidget(new AppEmptyState);
    m_stack->addWidget(m_scroll);
    auto* layout = column(this, 0);
    layout->addWidget(m_stack);
}

void AppDetailPane::setApp(const std::optional<InstalledApp>& app) {
    m_app = app;
    rebuild();
}

bool AppDetailPane::isShowingEmptyState() const { return m_stack->currentIndex() == 0; }

void AppDetailPane::themeChanged() {
    // Chips take their tint as a colour: build them again in the new theme.
    if (m_app) rebuild();
}

std::vector<LeftoverRow*> AppDetailPane::leftoverRows() const {
    if (!m_content) return {};
    const auto rows = m_content->findChildren<LeftoverRow*>();
    return {rows.begin(), rows.end()};
}

void AppDetailPane::rebuild() {
    m_uninstall = nullptr;
    m_header = nullptr;
    m_footprint = m_leftovers = nullptr;
    if (!m_app) {
        m_stack->setCurrentIndex(0);
        if (QWidget* old = m_scroll->takeWidget()) old->deleteLater();
        m_content = nullptr;
        return;
    }
    auto* content = new QWidget;
    auto* layout = column(content, 16);
    layout->setContentsMargins(18, 18, 18, 18);
    auto* header = new AppDetailHeader(*m_app, theme(), [this, app = *m_app] {
        if (m_actions.uninstall) m_actions.uninstall(app);
    });
    m_uninstall = header->uninstallButton();
    m_header = header;
    layout->addWidget(header);
    m_footprint = footprint(*m_app);
    m_leftovers = leftovers(*m_app);
    layout->addWidget(m_footprint);
    layout->addWidget(m_leftovers);
    layout->addSpacing(10);
    layout->addStretch(1);
    if (QWidget* old = m_scroll->takeWidget()) old->deleteLater(); // its button may be mid-click
    m_scroll->setWidget(content);
    content->setAutoFillBackground(false); // setWidget() turned it on
    propagateTheme(content, theme());
    m_content = content;
    m_stack->setCurrentIndex(1);
}

QWidget* AppDetailPane::footprint(const InstalledApp& app) {
    auto* body = new QWidget;
    auto* layout = column(body, 10);
    layout->addWidget(new SectionLabel(QStringLiteral("Total footprint"), DisplayText::sizeText(AppsText::footprintTotal(app))));
    layout->addWidget(new FootprintBar(app));
    auto* legend = new QHBoxLayout;
    legend->setSpacing(16);
    legend->addWidget(new LegendItem(QStringLiteral("Bundle"), DisplayText::sizeText(app.size), accentColor));
    legend->addWidget(
        new LegendItem(QStringLiteral("Support files"), DisplayText::sizeText(AppsText::leftoverTotal(app)), warningColor));
    legend->addStretch(1);
    layout->addLayout(legend);
    return new Panel(14, 14, body);
}

QWidget* AppDetailPane::leftovers(const InstalledApp& app) {
    auto* body = new QWidget;
    auto* layout = column(body, 8);
    // The files are one stop of Tab; the arrows walk them.
    FocusChain::makeGroup(body);
    layout->addWidget(new SectionLabel(QStringLiteral("Associated files"), QString::number(qlonglong(app.leftovers.size()))));
    if (app.leftovers.empty())
        layout->addWidget(new AppText(QStringLiteral("No caches, containers or preferences found for this app."),
                                      Typography::font(11, QFont::Normal), tertiaryColor));
    for (const LeftoverItem& item : app.leftovers)
        layout->addWidget(new LeftoverRow(item, [this, path = item.path] {
            if (m_actions.reveal) m_actions.reveal(path);
        }));
    return new Panel(14, 14, body);
}

} // namespace tallymere
