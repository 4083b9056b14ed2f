#include "views/tools/snapshots/SnapshotsView.h"

#include "base/PathText.h"
#include "services/SnapshotStore.h"
#include "state/AppState.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/BackgroundTask.h"
#include "views/components/TextDraw.h"
#include "views/tools/snapshots/ComparisonPane.h"
#include "views/tools/snapshots/SnapshotList.h"
#include "views/components/controls/ListScroll.h"

#include <QFontMetricsF>
#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QShowEvent>

#include <cmath>
#include <exception>

namespace tallymere {

namespace {

constexpr double headerPadding = 14;
constexpr double headerSpacing = 9;

QFont titleFont() { return Typography::font(19, QFont::DemiBold); }
QFont captionFont() { return Typography::font(11, QFont::Normal); }
QFont emptyFont() { return Typography::font(12, QFont::DemiBold); }

const QString caption = QStringLiteral("Capture the shape of a scan, then compare it with a later one.");

double captionHeight() {
    const double width = SnapshotsView::sidebarWidth - 2 * headerPadding;
    return QFontMetricsF(captionFont()).boundingRect(QRectF(0, 0, width, 1000), Qt::TextWordWrap, caption).height();
}

} // namespace

SnapshotsView::SnapshotsView(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    m_captureButton = new ActionButton(QStringLiteral("Capture Current Scan"), "camera.fill", true, true,
                                       [this] { capture(); }, this);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list = new SnapshotList(m_scroll);
    m_scroll->setWidget(m_list);
    m_list->setAutoFillBackground(false);
    m_pane = new ComparisonPane(state, m_pairing, this);

    connect(m_list, &SnapshotList::picked, this, &SnapshotsView::pick);
    connect(m_list, &SnapshotList::deleteRequested, this, &SnapshotsView::remove);
    connect(m_pane, &ComparisonPane::resetRequested, this, &SnapshotsView::reset);
    connect(&m_state, &AppState::rootChanged, this, &SnapshotsView::changed);
    changed();
}

void SnapshotsView::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    // The tab coming on screen, not the window returning from the task bar.
    if (!event->spontaneous()) load();
}

void SnapshotsView::load() {
    list([] { return SnapshotStore::load(); });
}

void SnapshotsView::list(std::function<std::vector<Snapshot>()> work) {
    const std::uint64_t asked = ++m_listing;
    BackgroundTask::run(this, std::move(work), [this, asked](std::vector<Snapshot> snapshots) {
        if (asked != m_listing) return; // a later listing is on its way
        m_listed = asked;
        showListing(std::move(snapshots));
    });
    update();
}

void SnapshotsView::showListing(std::vector<Snapshot> snapshots) {
    m_everListed = true;
    m_snapshots = std::move(snapshots);
    m_pairing.autoSelect(m_snapshots);
    changed();
    emit listed();
}

void SnapshotsView::capture() {
    const AppState::NodePtr root = m_state.root();
    if (!root) return;
    const std::string title =
        m_state.scanTarget() ? m_state.scanTarget()->title : PathText::lastComponent(root->displayPath());
    Snapshot snapshot = SnapshotStore::capture(*root, title, m_state.useAllocatedSize(), captureDepth, captureMinSize);
    try {
        SnapshotStore::save(snapshot);
    } catch (const std::exception& error) {
        m_state.setBanner(AppState::Banner::make(AppState::Banner::Kind::error, QStringLiteral("Could not save snapshot"),
                                                 QString::fromStdString(error.what())));
        return;
    }
    load();
    m_state.setBanner(AppState::Banner::make(
        AppState::Banner::Kind::success, QStringLiteral("Snapshot saved"),
        QLocale::system().toString(static_cast<qlonglong>(snapshot.entries.size())) +
            QStringLiteral(" entries captured for ") + QString::fromStdString(title) + QStringLiteral(".")));
}

void SnapshotsView::pick(std::size_t index) {
    if (index >= m_snapshots.size()) return;
    m_pairing.pick(m_snapshots[index]);
    changed();
}

void SnapshotsView::remove(std::size_t index) {
    if (index >= m_snapshots.size()) return;
    const Snapshot snapshot = m_snapshots[index];
    // The pair lets go of it now: the rows shown until the new list arrives no longer count it.
    m_pairing.forget(snapshot);
    changed();
    // The file is read before it goes (it must still hold this snapshot), then the folder again.
    QPointer<SnapshotsView> self(this);
    const auto failed = [self](const std::string& error) {
        QMetaObject::invokeMethod(
            qApp,
            [self, error] {
                if (self)
                    self->m_state.setBanner(AppState::Banner::make(AppState::Banner::Kind::error,
                                                                   QStringLiteral("Could not delete snapshot"),
                                                                   QString::fromStdString(error)));
            },
            Qt::QueuedConnection);
    };
    list([snapshot, failed] {
        if (const std::string error = SnapshotStore::tryRemove(snapshot); !error.empty()) failed(error);
        return SnapshotStore::load();
    });
}

void SnapshotsView::reset() {
    m_pairing.reset();
    changed();
}

void SnapshotsView::changed() {
    const bool canCapture = m_state.root() != nullptr;
    m_captureButton->setEnabled(canCapture);
    if (canCapture) {
        m_captureButton->setGraphicsEffect(nullptr);
    } else if (!m_captureButton->graphicsEffect()) {
        auto* dim = new QGraphicsOpacityEffect(m_captureButton);
        dim->setOpacity(0.5);
        m_captureButton->setGraphicsEffect(dim);
    }
    m_list->setSnapshots(&m_snapshots, [this](const Snapshot& snapshot) { return m_pairing.role(snapshot); });
    m_scroll->setVisible(!m_snapshots.empty());
    m_pane->refresh();
    layoutChildren();
    update();
}

double SnapshotsView::headerHeight() const {
    return 2 * headerPadding + QFontMetricsF(titleFont()).height() + headerSpacing + captionHeight() + headerSpacing +
           m_captureButton->sizeHint().height();
}

void SnapshotsView::layoutChildren() {
    const double header = headerHeight();
    const int buttonHeight = m_captureButton->sizeHint().height();
    m_captureButton->setGeometry(int(headerPadding), int(std::lround(header - headerPadding - buttonHeight)),
                                 int(sidebarWidth - 2 * headerPadding), buttonHeight);
    const int listTop = int(std::ceil(header)) + 1;
    m_scroll->setGeometry(0, listTop, int(sidebarWidth), std::max(0, height() - listTop));
    m_pane->setGeometry(int(sidebarWidth) + 1, 0, std::max(0, width() - int(sidebarWidth) - 1), height());
}

void SnapshotsView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    layoutChildren();
}

QRectF SnapshotsView::emptySymbolRect() const {
    if (!m_snapshots.empty() || !m_everListed) return {};
    const double top = std::ceil(headerHeight()) + 1;
    const QSizeF symbol = SymbolImage::size(30);
    const double stack = symbol.height() + 8 + QFontMetricsF(emptyFont()).height();
    const double y = top + (height() - top - stack) / 2;
    return {(sidebarWidth - symbol.width()) / 2, y, symbol.width(), symbol.height()};
}

void SnapshotsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Theme& t = theme();
    painter.fillRect(rect(), t.background);

    const double textWidth = sidebarWidth - 2 * headerPadding;
    double y = headerPadding;
    const double titleHeight = QFontMetricsF(titleFont()).height();
    TextDraw::draw(painter, QRectF(headerPadding, y, textWidth, titleHeight), QStringLiteral("Snapshots"),
                   {titleFont(), t.text});
    y += titleHeight + headerSpacing;
    painter.setFont(captionFont());
    painter.setPen(t.textSecondary);
    painter.drawText(QRectF(headerPadding, y, textWidth, captionHeight()), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     caption);
    const double header = std::ceil(headerHeight());
    painter.fillRect(QRectF(0, header, sidebarWidth, 1), t.stroke);
    painter.fillRect(QRectF(sidebarWidth, 0, 1, height()), t.stroke);

    if (const QRectF symbol = emptySymbolRect(); !symbol.isEmpty()) {
        SymbolImage::draw(painter, symbol, "clock.arrow.2.circlepath", 30, QFont::Thin,
                          ShapePaint::withOpacity(t.textTertiary, 0.6));
        TextDraw::draw(painter, QRectF(0, symbol.bottom() + 8, sidebarWidth, QFontMetricsF(emptyFont()).height()),
                       QStringLiteral("No snapshots yet"), {emptyFont(), t.textSecondary, Qt::AlignCenter});
    }
}

} // namespace tallymere
