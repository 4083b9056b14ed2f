#include "views/shell/WorkspaceView.h"

#include "state/AppState.h"
#include "platform/UserFolders.h"
#include "views/shell/screens/PageHeader.h"
#include "views/shell/screens/ScanningView.h"
#include "views/shell/ToolTabs.h"
#include "views/shell/VisualizationHost.h"
#include "views/shell/screens/VizRail.h"
#include "views/shell/screens/WelcomeView.h"
#include "views/components/TextDraw.h"
#include "style/Motion.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/KeyboardHome.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QVariantAnimation>

#include <functional>

namespace tallymere {

namespace {

// The explore page's children live in one container so that leaving the page deletes them at once.
class ExplorePage : public ThemedWidget {
public:
    using ThemedWidget::ThemedWidget;
    double dividerY = -1;
    // Run when a part asks for a new size (the rail grows a row when its controls no longer fit).
    std::function<void()> relayout;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest && relayout) relayout();
        return ThemedWidget::event(event);
    }

    void paintEvent(QPaintEvent*) override {
        if (dividerY < 0) return;
        QPainter painter(this);
        painter.fillRect(QRectF(0, dividerY, width(), 1), theme().stroke);
    }
};

// Laid over a new tab's content while it fades in: the workspace's own background, thinning out.
class Veil : public QWidget {
public:
    Veil(QWidget* parent, const double& progress) : QWidget(parent), m_progress(progress) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_progress >= 1) return;
        const auto theme = ThemedWidget::inheritedTheme(this).value_or(Theme());
        QPainter painter(this);
        painter.fillRect(rect(), ShapePaint::withOpacity(theme.background, 1.0 - m_progress));
    }

private:
    const double& m_progress;
};

constexpr int fadeMs = 200;

} // namespace

QString WorkspaceView::headerTitle(const FileNode& node) {
    if (node.parent) return TextDraw::oneLine(QString::fromStdString(node.displayName()));
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    if (UserFolders::isHome(path)) return QStringLiteral("Home");
    return TextDraw::oneLine(QString::fromStdString(lastPathComponentText(path)));
}

WorkspaceView::WorkspaceView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_veil(new Veil(this, m_fadeProgress)), m_fade(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_veil->hide();
    m_fade->setDuration(fadeMs);
    m_fade->setEasingCurve(Motion::easeOut());
    m_fade->setStartValue(0.0);
    m_fade->setEndValue(1.0);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_fadeProgress = value.toDouble();
        m_veil->update();
    });
    connect(m_fade, &QVariantAnimation::finished, this, &WorkspaceView::finishAnimations);
    for (auto signal : {&AppState::tabChanged, &AppState::isScanningChanged, &AppState::displayRootChanged})
        connect(&m_state, signal, this, &WorkspaceView::follow);
    // The explore page is gone by now; what its views kept beyond it goes with the old tree.
    connect(&m_state, &AppState::scanStarted, this, &VisualizationHost::forgetKept);
    build(Screen::welcome, m_state.tab());
    follow();
}

void WorkspaceView::follow() {
    const WorkspaceTab tab = m_state.tab();
    Screen screen = Screen::tool;
    if (tab == WorkspaceTab::explore) {
        if (m_state.isScanning()) screen = Screen::scanning;
        else if (m_state.displayRoot()) screen = Screen::explore;
        else screen = Screen::welcome;
    }
    if (screen == m_screen && tab == m_tab && m_content) return;
    build(screen, tab);
}

void WorkspaceView::finishAnimations() {
    m_fade->stop();
    m_fadeProgress = 1;
    m_veil->hide();
}

void WorkspaceView::build(Screen screen, WorkspaceTab tab) {
    const bool tabChanged = m_content && tab != m_tab;
    // The old screen goes first: a tool tab's work stops before the next one starts.
    KeyboardHome::takeBackFrom(m_content);
    delete m_content;
    m_content = nullptr;
    m_header = nullptr;
    m_rail = nullptr;
    m_host = nullptr;
    m_screen = screen;
    m_tab = tab;
    switch (screen) {
    case Screen::welcome: m_content = new WelcomeView(m_state, this); break;
    case Screen::scanning: m_content = new ScanningView(m_state, this); break;
    case Screen::tool: m_content = makeToolTab(tab, m_state, this); break;
    case Screen::explore: {
        auto* page = new ExplorePage(this);
        m_header = new PageHeader(m_state, page);
        m_rail = new VizRail(m_state, page);
        m_host = new VisualizationHost(m_state, page);
        page->relayout = [this] { layoutPage(); };
        m_content = page;
        break;
    }
    }
    m_content->setGeometry(rect());
    layoutPage();
    m_content->show();
    if (tabChanged) {
        m_fadeProgress = 0;
        m_veil->setGeometry(rect());
        m_veil->show();
        m_veil->raise();
        m_fade->stop();
        m_fade->start();
    }
}

void WorkspaceView::layoutPage() {
    if (!m_header) return;
    auto* page = static_cast<ExplorePage*>(m_content);
    const int width = page->width();
    const int headerHeight = m_header->sizeHint().height();
    const int railHeight = m_rail->heightForWidth(width);
    m_header->setGeometry(0, 0, width, headerHeight);
    m_rail->setGeometry(0, headerHeight, width, railHeight);
    page->dividerY = headerHeight + railHeight;
    const int hostTop = headerHeight + railHeight + 1;
    m_host->setGeometry(0, hostTop, width, std::max(page->height() - hostTop, 0));
}

void WorkspaceView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    if (m_content) m_content->setGeometry(rect());
    m_veil->setGeometry(rect());
    layoutPage();
}

void WorkspaceView::paintEvent(QPaintEvent*) {
    // A wash of the window's background over that background is the background itself: painted
    // opaque, it spares the window painting what lies beneath the column on every repaint.
    QPainter painter(this);
    painter.fillRect(rect(), theme().background);
}

} // namespace tallymere
