#include "views/tools/duplicates/DuplicatesView.h"

#include "state/AppState.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/TextDraw.h"
#include "views/tools/duplicates/DuplicatesStatePane.h"
#include "views/tools/duplicates/GroupList.h"
#include "views/tools/duplicates/MiniSlider.h"
#include "views/components/controls/ListScroll.h"

#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QStackedWidget>

#include <charconv>
#include <cmath>
#include <thread>

namespace tallymere {

// Where a search's result lands, on the GUI thread (the search thread only holds it and posts).
// While the tab is up its view takes the result. A tab closed during a search the user asked for
// leaves the store behind to hear that search's outcome: "No duplicates found" is a message for the
// whole window, not for the tab.
struct DuplicatesView::Inbox {
    QPointer<DuplicatesView> view;
    QPointer<AppState> orphanState;
    std::uint64_t orphanGeneration = 0;
    // Stops the orphaned search once its tree is no longer shown; cut when its outcome arrives.
    QMetaObject::Connection orphanWatch;
};

namespace {

constexpr double headerSpacing = 12;
constexpr double minSizeSpacing = 6;
constexpr double sliderWidth = 110;
constexpr double valueWidth = 52;
constexpr int stageAllWidth = 140;
constexpr int findWidth = 150;
constexpr double rowSpacing = 8;

QFont titleFont() {
    QFont font = Typography::font(21, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    return font;
}
QFont subtitleFont() { return Typography::font(11, QFont::Normal); }
QFont minSizeLabelFont() { return Typography::font(10.5, QFont::Normal); }
QFont minSizeValueFont() { return Typography::font(10.5, QFont::DemiBold); }

AppState::Banner nothingFound(std::int64_t minSize) {
    return AppState::Banner::make(AppState::Banner::Kind::info, QStringLiteral("No duplicates found"),
                                  QStringLiteral("Nothing above ") + DisplayText::sizeText(minSize) +
                                      QStringLiteral(" is duplicated here."));
}

// Buttons look the same when disabled; the header dims its disabled one to half.
void dimWhenDisabled(QWidget* widget, bool enabled) {
    widget->setEnabled(enabled);
    if (enabled) {
        widget->setGraphicsEffect(nullptr);
    } else if (!widget->graphicsEffect()) {
        auto* effect = new QGraphicsOpacityEffect(widget);
        effect->setOpacity(0.5);
        widget->setGraphicsEffect(effect);
    }
}

} // namespace

DuplicatesView::DuplicatesView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_inbox(std::make_shared<Inbox>()),
      m_progress(std::make_shared<DuplicateFinder::Progress>()) {
    m_inbox->view = this;
    m_slider = new MiniSlider(minSizeLowest, minSizeHighest, m_minSizeMB, this);
    connect(m_slider, &MiniSlider::valueChanged, this, &DuplicatesView::setMinSizeMB);
    m_stageAllButton = new ActionButton(QStringLiteral("Stage all extras"), "trash.fill", false, true,
                                        [this] { stageAllExtras(); }, this);
    m_findButton = new ActionButton(QStringLiteral("Find Duplicates"), "doc.on.doc.fill", true, true,
                                    [this] { findOrStop(); }, this);

    m_content = new QStackedWidget(this);
    m_statePane = new DuplicatesStatePane(m_content);
    m_scroll = new QScrollArea(m_content);
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list = new GroupList(state, m_scroll);
    m_scroll->setWidget(m_list);
    // setWidget() turns filling on; the tab's own background shows through instead.
    m_list->setAutoFillBackground(false);
    m_content->addWidget(m_statePane);
    m_content->addWidget(m_scroll);

    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &DuplicatesView::poll);
    connect(&m_state, &AppState::displayRootChanged, this, &DuplicatesView::displayRootChanged);
    refresh();
}

DuplicatesView::~DuplicatesView() {
    if (m_running && m_startedManually) {
        m_inbox->orphanState = &m_state;
        m_inbox->orphanGeneration = m_generation;
        // Another tree shown leaves the search nothing to say: it stops and lets go of its tree.
        m_inbox->orphanWatch = connect(&m_state, &AppState::displayRootChanged, &m_state,
                                       [progress = m_progress] { progress->cancel(); });
    } else {
        // An automatic search says nothing when it ends: with the tab gone it has no one to tell.
        m_progress->cancel();
    }
}

void DuplicatesView::setFinder(Finder finder) { m_finder = std::move(finder); }

const std::vector<DuplicateFinder::Group>& DuplicatesView::groups() const { return m_list->groups(); }

void DuplicatesView::setMinSizeMB(double megabytes) {
    m_minSizeMB = std::clamp(megabytes, minSizeLowest, minSizeHighest);
    m_slider->setValue(m_minSizeMB);
    update();
}

std::int64_t DuplicatesView::minSizeBytes() const { return static_cast<std::int64_t>(m_minSizeMB * 1000000.0); }

QString DuplicatesView::minSizeText(double megabytes) {
    // Whole numbers rounded like every fixed-decimal figure of the program (a tie goes to the even
    // neighbour), with no locale in the way.
    const auto whole = [](double value) {
        char buffer[32];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0);
        return error == std::errc() ? QString::fromLatin1(buffer, int(end - buffer)) : QStringLiteral("0");
    };
    if (megabytes < 1.0) return whole(megabytes * 1000) + QStringLiteral("\u00A0KB");
    return whole(megabytes) + QStringLiteral("\u00A0MB");
}

std::int64_t DuplicatesView::wasted() const {
    std::int64_t total = 0;
    for (const auto& group : groups()) total += group.waste();
    return total;
}

QString DuplicatesView::subtitle() const {
    if (groups().empty()) return QStringLiteral("Byte-for-byte identical copies in the current scan");
    const auto count = static_cast<qlonglong>(groups().size());
    return QString::number(count) + QStringLiteral(" group") + (count == 1 ? QString() : QStringLiteral("s")) +
           QStringLiteral(" · ") + DisplayText::sizeText(wasted()) + QStringLiteral(" recoverable");
}

void DuplicatesView::findOrStop() {
    if (m_running) {
        cancel();
        return;
    }
    m_startedManually = true;
    start();
}

void DuplicatesView::stageAllExtras() {
    m_state.stageExtras(groups());
}

void DuplicatesView::autoRunIfCheap() {
    const auto& tree = m_state.displayRoot();
    if (!tree || m_running || !groups().empty() || tree->fileCount >= autoRunFileLimit) return;
    std::string path = tree->path();
    if (m_autoRanFor == path) return;
    m_autoRanFor = std::move(path);
    start();
}

void DuplicatesView::start() {
    std::shared_ptr<FileNode> tree = m_state.displayRoot();
    if (!tree) return;
    m_list->setGroups({});
    m_running = true;
    m_progress = std::make_shared<DuplicateFinder::Progress>();
    const std::uint64_t generation = ++m_generation;
    const std::int64_t minSize = minSizeBytes();
    m_poll.start();
    Finder finder = m_finder;
    if (!finder)
        finder = [](const std::shared_ptr<FileNode>& root, std::int64_t least, DuplicateFinder::Progress& searched) {
            return DuplicateFinder::find(root, least, searched);
        };
    std::thread([inbox = m_inbox, tree, progress = m_progress, minSize, generation, finder = std::move(finder)] {
        auto groups = std::make_shared<std::vector<DuplicateFinder::Group>>(finder(tree, minSize, *progress));
        const bool cancelled = progress->cancelled();
        QCoreApplication* application = QCoreApplication::instance();
        if (!application) return;
        // The application outlives every view and store; the inbox is read on its thread only.
        QMetaObject::invokeMethod(
            application,
            [inbox, generation, tree, groups, cancelled, minSize] {
                if (DuplicatesView* view = inbox->view) {
                    view->finish(generation, tree, std::move(*groups), cancelled);
                } else if (AppState* state = inbox->orphanState) {
                    QObject::disconnect(inbox->orphanWatch);
                    if (generation == inbox->orphanGeneration && !cancelled && groups->empty() && tree == state->displayRoot())
                        state->setBanner(nothingFound(minSize));
                }
            },
            Qt::QueuedConnection);
    }).detach();
    refresh();
}

void DuplicatesView::cancel() {
    m_progress->cancel();
    m_poll.stop();
    m_running = false;
    // A stopped search says nothing, and the next one is manual only when the user asks for it.
    m_startedManually = false;
    refresh();
}

void DuplicatesView::poll() {
    m_stage = QString::fromStdString(m_progress->stage());
    m_done = m_progress->done();
    m_total = m_progress->total();
    if (m_running) m_statePane->showRunning(m_stage, m_done, m_total);
}

void DuplicatesView::finish(std::uint64_t generation, const std::shared_ptr<FileNode>& tree,
                            std::vector<DuplicateFinder::Group> groups, bool cancelled) {
    // A superseded search (the user started another) has nothing left to say.
    if (generation != m_generation) return;
    // Stopped by the user: the search may have ended before it saw the stop, but it says nothing.
    const bool stopped = cancelled || !m_running;
    m_poll.stop();
    m_running = false;
    const bool stillShown = tree == m_state.displayRoot();
    if (!stillShown) groups.clear();
    if (groups.size() > maxGroups) groups.resize(maxGroups);
    m_list->setGroups(std::move(groups));
    if (stillShown && !stopped && m_startedManually && this->groups().empty())
        m_state.setBanner(nothingFound(minSizeBytes()));
    m_startedManually = false;
    refresh();
    // The tree changed while this search ran, which held back the automatic search of the new one.
    if (!stillShown) autoRunIfCheap();
}

void DuplicatesView::displayRootChanged() {
    // A search of the tree shown before can deliver nothing now: it stops rather than keep that
    // tree alive until it ends.
    if (m_running) cancel();
    m_list->setGroups({});
    refresh();
    autoRunIfCheap();
}

void DuplicatesView::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    if (m_running) m_poll.start();
    autoRunIfCheap();
}

void DuplicatesView::hideEvent(QHideEvent* event) {
    ThemedWidget::hideEvent(event);
    m_poll.stop();
}

void DuplicatesView::refresh() {
    const bool hasGroups = !groups().empty();
    m_slider->setEnabled(!m_running);
    m_stageAllButton->setVisible(hasGroups);
    m_findButton->setTitle(m_running ? QStringLiteral("Stop") : QStringLiteral("Find Duplicates"));
    m_findButton->setSymbol(m_running ? "stop.fill" : "doc.on.doc.fill");
    m_findButton->setProminent(!m_running);
    dimWhenDisabled(m_findButton, m_state.displayRoot() != nullptr);
    if (m_running) {
        m_statePane->showRunning(m_stage, m_done, m_total);
        m_content->setCurrentWidget(m_statePane);
    } else if (hasGroups) {
        m_content->setCurrentWidget(m_scroll);
    } else {
        m_statePane->showEmpty(m_state.displayRoot() != nullptr);
        m_content->setCurrentWidget(m_statePane);
    }
    layoutChildren();
    update();
}

double DuplicatesView::titleBlockHeight() const {
    return QFontMetricsF(titleFont()).height() + 1 + QFontMetricsF(subtitleFont()).height();
}

double DuplicatesView::titleBlockWidth() const {
    return std::ceil(std::max(QFontMetricsF(titleFont()).horizontalAdvance(QStringLiteral("Duplicate Files")),
                              QFontMetricsF(subtitleFont()).horizontalAdvance(subtitle())));
}

double DuplicatesView::minSizeControlWidth() const {
    const double label = QFontMetricsF(minSizeLabelFont()).horizontalAdvance(QStringLiteral("Min size"));
    return std::ceil(label) + minSizeSpacing + sliderWidth + minSizeSpacing + valueWidth;
}

bool DuplicatesView::headerWraps() const {
    double controls = minSizeControlWidth() + headerSpacing + findWidth;
    if (m_stageAllButton->isVisibleTo(this)) controls += stageAllWidth + headerSpacing;
    return 2 * headerPaddingX + titleBlockWidth() + headerSpacing + controls > width();
}

double DuplicatesView::headerHeight() const {
    const double buttons = m_findButton->sizeHint().height();
    // Too narrow for one row, the title keeps the first row with the search button, and the
    // minimum size and "Stage all extras" move to a second row under them.
    if (headerWraps()) return 2 * headerPaddingY + std::max(titleBlockHeight(), buttons) + rowSpacing + buttons;
    return 2 * headerPaddingY + std::max<double>(titleBlockHeight(), buttons);
}

void DuplicatesView::layoutChildren() {
    const double header = headerHeight();
    const bool wraps = headerWraps();
    const int buttonHeight = m_findButton->sizeHint().height();
    const double firstRow = wraps ? std::max(titleBlockHeight(), double(buttonHeight)) : header - 2 * headerPaddingY;
    const double firstMid = headerPaddingY + firstRow / 2;
    m_controlRow = wraps ? QRectF(0, headerPaddingY + firstRow + rowSpacing, width(), buttonHeight) : QRectF(0, 0, width(), header);
    const double controlMid = m_controlRow.center().y();

    double right = width() - headerPaddingX;
    m_findButton->setGeometry(int(std::lround(right - findWidth)), int(std::lround(firstMid - buttonHeight / 2.0)),
                              findWidth, buttonHeight);
    m_titleRight = right - findWidth - headerSpacing;
    if (!wraps) right -= findWidth + headerSpacing;
    if (m_stageAllButton->isVisibleTo(this)) {
        m_stageAllButton->setGeometry(int(std::lround(right - stageAllWidth)),
                                      int(std::lround(controlMid - buttonHeight / 2.0)), stageAllWidth, buttonHeight);
        right -= stageAllWidth + headerSpacing;
    }
    right -= valueWidth + minSizeSpacing;
    const QSize slider = m_slider->sizeHint();
    m_slider->setGeometry(int(std::lround(right - sliderWidth)), int(std::lround(controlMid - slider.height() / 2.0)),
                          int(sliderWidth), slider.height());
    if (!wraps)
        m_titleRight = m_slider->geometry().left() - minSizeSpacing -
                       QFontMetricsF(minSizeLabelFont()).horizontalAdvance(QStringLiteral("Min size")) - headerSpacing;
    m_content->setGeometry(0, int(std::ceil(header)) + 1, width(), std::max(0, height() - int(std::ceil(header)) - 1));
}

QRectF DuplicatesView::titleRect() const {
    return {headerPaddingX, headerPaddingY, std::max(0.0, m_titleRight - headerPaddingX),
            headerHeight() - 2 * headerPaddingY - (headerWraps() ? rowSpacing + m_controlRow.height() : 0)};
}

QRectF DuplicatesView::minSizeLabelRect() const {
    const double labelWidth = QFontMetricsF(minSizeLabelFont()).horizontalAdvance(QStringLiteral("Min size"));
    return {m_slider->geometry().left() - minSizeSpacing - labelWidth - 1, m_controlRow.top(), labelWidth + 1,
            m_controlRow.height()};
}

void DuplicatesView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    layoutChildren();
}

void DuplicatesView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Theme& t = theme();
    painter.fillRect(rect(), t.background);
    const double header = headerHeight();

    const double titleHeight = QFontMetricsF(titleFont()).height();
    const double subtitleHeight = QFontMetricsF(subtitleFont()).height();
    const QRectF title = titleRect();
    const double blockTop = title.top() + (title.height() - (titleHeight + 1 + subtitleHeight)) / 2;
    const double textWidth = title.width();
    painter.setFont(titleFont());
    painter.setPen(t.text);
    painter.drawText(QRectF(headerPaddingX, blockTop, textWidth, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(titleFont()).elidedText(QStringLiteral("Duplicate Files"), Qt::ElideRight, textWidth));
    painter.setFont(subtitleFont());
    painter.setPen(groups().empty() ? t.textTertiary : t.success);
    painter.drawText(QRectF(headerPaddingX, blockTop + titleHeight + 1, textWidth, subtitleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(subtitleFont()).elidedText(subtitle(), Qt::ElideRight, textWidth));

    // The minimum-size control's two labels, dimmed with the slider while a search runs.
    painter.save();
    if (m_running) painter.setOpacity(0.5);
    const QRectF slider = m_slider->geometry();
    painter.setFont(minSizeLabelFont());
    painter.setPen(t.textTertiary);
    painter.drawText(minSizeLabelRect(), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Min size"));
    TextDraw::Style value{minSizeValueFont(), t.textSecondary, Qt::AlignCenter};
    value.monospacedDigits = true;
    TextDraw::draw(painter, QRectF(slider.right() + 1 + minSizeSpacing, m_controlRow.top(), valueWidth, m_controlRow.height()),
                   minSizeText(m_minSizeMB), value);
    painter.restore();

    painter.fillRect(QRectF(0, std::ceil(header), width(), 1), t.stroke);
}

} // namespace tallymere
