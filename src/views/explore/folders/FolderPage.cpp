#include "views/explore/folders/FolderPage.h"

#include "style/Motion.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/RepaintArea.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/explore/folders/CardGrid.h"
#include "views/explore/folders/CardSkins.h"
#include "views/explore/folders/FileCardPaint.h"
#include "views/explore/folders/FolderCardPaint.h"
#include "views/explore/folders/FolderComposition.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double pagePadding = 18;
constexpr double rowSpacing = 24;
constexpr int hoverDurationMs = 140;
constexpr CardGrid folderGrid{208, 300, 14};
constexpr CardGrid fileGrid{168, 240, 14};

QFont titleFont() { return Typography::font(19, QFont::DemiBold); }
QFont countFont() { return Typography::font(11, QFont::DemiBold); }
QFont noteFont() { return Typography::font(10.5, QFont::Normal); }
QFont pillFont() { return Typography::font(11.5, QFont::Medium); }
QFont emptyFont() { return Typography::font(17, QFont::DemiBold); }

double headerHeight() {
    return std::max(QFontMetricsF(titleFont()).height(), QFontMetricsF(countFont()).height() + 5);
}

} // namespace

FolderPage::FolderPage(AppState& state, int maxFolders, int maxFiles, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_maxFolders(maxFolders), m_maxFiles(maxFiles) {
    setMouseTracking(true);
    connect(&m_state, &AppState::focusChanged, this, &FolderPage::relist);
    connect(&m_state, &AppState::displayRootChanged, this, &FolderPage::relist);
    connect(&m_state, &AppState::useAllocatedSizeChanged, this, &FolderPage::relist);
    connect(&m_state, &AppState::colorModeChanged, this, qOverload<>(&QWidget::update));
    connect(&m_state, &AppState::queueChanged, this, qOverload<>(&QWidget::update));
    setUpKeys();
    relist();
}

void FolderPage::relist() {
    AppState::NodePtr folder = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    const bool changed = folder != m_folder;
    // The keyboard on the page as its folder changes (by the pill or a card) stays on its cards.
    const std::optional<bool> keys = changed ? parkKeys() : std::nullopt;
    m_folder = std::move(folder);
    // Only the cards shown need their order.
    m_lists = FolderListing::split(m_folder.get(), m_state.useAllocatedSize(),
                                   std::size_t(std::max({m_maxFolders, m_maxFiles, 0})));
    m_dots.assign(std::min<std::size_t>(m_lists.folders.size(), static_cast<std::size_t>(m_maxFolders)), std::nullopt);
    relayout();
    if (changed) placeKeyStops(true);
    if (keys) enterCards(*keys);
    if (changed) emit folderChanged();
}

void FolderPage::setPageWidth(int width) {
    if (width == m_width && size().width() == width) return;
    m_width = width;
    relayout();
}

void FolderPage::relayout() {
    const int folders = static_cast<int>(std::min<std::size_t>(m_lists.folders.size(), static_cast<std::size_t>(m_maxFolders)));
    const int files = static_cast<int>(std::min<std::size_t>(m_lists.files.size(), static_cast<std::size_t>(m_maxFiles)));
    const double left = pagePadding;
    const double inner = std::max(0.0, m_width - 2 * pagePadding);
    double y = pagePadding;
    bool first = true;
    const auto next = [&](double height) {
        if (!first) y += rowSpacing;
        first = false;
        const double top = y;
        y += height;
        return top;
    };

    m_pill.reset();
    const AppState::NodePtr& focus = m_state.focus();
    if (focus && focus->parent) {
        const QFontMetricsF metrics(pillFont());
        const QString text = TextDraw::oneLine(FolderListing::destinationName(*focus->parent));
        const QSizeF symbol = SymbolImage::size(10);
        const double width = std::min(inner, 11 + symbol.width() + 7 + metrics.horizontalAdvance(text) + 11);
        const double height = std::max(metrics.height(), symbol.height()) + 12;
        m_pill = QRectF(left, next(height), width, height);
    }
    m_foldersHeader = m_filesHeader = QRectF();
    m_folderCells.clear();
    m_fileCells.clear();
    if (folders > 0) {
        m_foldersHeader = QRectF(left, next(headerHeight()), inner, headerHeight());
        const double top = next(folderGrid.height(folders, inner, FolderCardPaint::height));
        m_folderCells = folderGrid.cells(folders, left, top, inner, FolderCardPaint::height);
    }
    if (files > 0) {
        m_filesHeader = QRectF(left, next(headerHeight()), inner, headerHeight());
        const double cardHeight = FileCardPaint::height();
        const double top = next(fileGrid.height(files, inner, cardHeight));
        m_fileCells = fileGrid.cells(files, left, top, inner, cardHeight);
    }
    m_placeholder.reset();
    if (m_lists.folders.empty() && m_lists.files.empty()) {
        const double height = 60 + 62 + 10 + QFontMetricsF(emptyFont()).height();
        m_placeholder = QRectF(left, next(height), inner, height);
    }
    m_height = y + pagePadding;

    m_folderHover.resize(m_folderCells.size(), 0.0);
    m_fileHover.resize(m_fileCells.size(), 0.0);
    if (node(m_hover) == nullptr) m_hover = {};
    resize(m_width, static_cast<int>(std::ceil(m_height)));
    placeKeyStops(false);
    update();
}

QSize FolderPage::sizeHint() const { return {m_width, static_cast<int>(std::ceil(m_height))}; }

const FileNode* FolderPage::node(CardRef card) const {
    if (card.grid == Grid::folders && card.index >= 0 && card.index < shownFolders())
        return m_lists.folders[static_cast<std::size_t>(card.index)];
    if (card.grid == Grid::files && card.index >= 0 && card.index < shownFiles())
        return m_lists.files[static_cast<std::size_t>(card.index)];
    return nullptr;
}

QRectF FolderPage::cell(CardRef card) const {
    if (!node(card)) return {};
    return card.grid == Grid::folders ? m_folderCells[static_cast<std::size_t>(card.index)]
                                      : m_fileCells[static_cast<std::size_t>(card.index)];
}

double FolderPage::hover(CardRef card) const {
    if (!node(card)) return 0;
    return card.grid == Grid::folders ? m_folderHover[static_cast<std::size_t>(card.index)]
                                      : m_fileHover[static_cast<std::size_t>(card.index)];
}

FolderPage::CardRef FolderPage::cardAt(QPointF point) const {
    // Cells are laid out row by row, so a binary search on the rows would do; a few hundred
    // rectangles are cheap enough to scan.
    for (std::size_t i = 0; i < m_folderCells.size(); ++i)
        if (m_folderCells[i].contains(point)) return {Grid::folders, static_cast<int>(i)};
    for (std::size_t i = 0; i < m_fileCells.size(); ++i)
        if (m_fileCells[i].contains(point)) return {Grid::files, static_cast<int>(i)};
    return {};
}

QRectF FolderPage::buttonRect(CardRef card) const {
    if (!node(card)) return {};
    const double lift = keyboardOn(card) ? 1.0 : hover(card);
    return card.grid == Grid::folders ? FolderCardPaint::menuButton(cell(card), lift)
                                      : FileCardPaint::queueButton(cell(card), lift);
}

bool FolderPage::onButton(CardRef card, QPointF point) const {
    const FileNode* n = node(card);
    if (!n || !buttonRect(card).contains(point)) return false;
    // A button is there to press while it shows: under the pointer, or a staged file's checkmark.
    return m_hover == card || (card.grid == Grid::files && m_state.isQueued(n));
}

void FolderPage::setHover(CardRef card) {
    if (card == m_hover) return;
    if (node(m_hover)) animateHover(m_hover, 0);
    m_hover = card;
    if (const FileNode* n = node(card)) {
        animateHover(card, 1);
        m_state.setHovered(m_state.retain(n));
    }
}

void FolderPage::animateHover(CardRef card, double target) {
    const auto key = std::make_pair(static_cast<int>(card.grid), card.index);
    if (auto found = m_animations.find(key); found != m_animations.end()) {
        found->second->stop();
        delete found->second;
        m_animations.erase(found);
    }
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(hoverDurationMs);
    animation->setEasingCurve(Motion::easeOut());
    animation->setStartValue(hover(card));
    animation->setEndValue(target);
    connect(animation, &QVariantAnimation::valueChanged, this, [this, card](const QVariant& value) {
        if (!node(card)) return;
        auto& progress = card.grid == Grid::folders ? m_folderHover : m_fileHover;
        progress[static_cast<std::size_t>(card.index)] = value.toDouble();
        update(cell(card).adjusted(-2, -4, 2, 2).toAlignedRect());
    });
    connect(animation, &QVariantAnimation::finished, this, [this, key] {
        if (auto found = m_animations.find(key); found != m_animations.end()) {
            found->second->deleteLater();
            m_animations.erase(found);
        }
    });
    m_animations[key] = animation;
    animation->start();
}

const std::vector<FileCategory>& FolderPage::dots(int index) {
    auto& slot = m_dots[static_cast<std::size_t>(index)];
    if (!slot) {
        slot = FolderComposition::top(*m_lists.folders[static_cast<std::size_t>(index)], m_state.useAllocatedSize());
        ++m_compositionsComputed;
    }
    return *slot;
}

void FolderPage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRectF exposed = QRectF(event->rect()).adjusted(0, -4, 0, 4);
    const Theme& t = theme();
    if (m_pill && m_pill->intersects(exposed)) paintBackPill(painter, *m_pill);
    if (!m_foldersHeader.isEmpty() && m_foldersHeader.intersects(exposed))
        paintSectionHeader(painter, m_foldersHeader, QStringLiteral("Folders"), static_cast<int>(m_lists.folders.size()),
                           m_maxFolders);
    if (!m_filesHeader.isEmpty() && m_filesHeader.intersects(exposed))
        paintSectionHeader(painter, m_filesHeader, QStringLiteral("Files"), static_cast<int>(m_lists.files.size()),
                           m_maxFiles);
    if (m_placeholder && m_placeholder->intersects(exposed)) paintPlaceholder(painter, *m_placeholder);

    const bool allocated = m_state.useAllocatedSize();
    std::vector<std::size_t> shown;
    std::vector<FolderCardPaint::Input> inputs;
    std::vector<CardSkins::Picture> bodies;
    const qreal ratio = CardSkins::ratioOf(painter);
    for (std::size_t i = 0; i < m_folderCells.size(); ++i) {
        if (!m_folderCells[i].intersects(exposed)) continue;
        const FileNode* n = m_lists.folders[i];
        shown.push_back(i);
        const double hover = keyboardOn({Grid::folders, int(i)}) ? 1.0 : m_folderHover[i];
        inputs.push_back({n, static_cast<int>(i), m_state.colorMode(), allocated, m_state.isQueued(n), hover,
                          dots(static_cast<int>(i))});
        if (auto body = FolderCardPaint::body(m_folderCells[i], t, inputs.back(), ratio)) bodies.push_back(std::move(*body));
    }
    // A page's first showing meets most of its cards' colours for the first time: their bodies are
    // drawn side by side before the cards, rather than one after another as each card comes.
    CardSkins::prepare(bodies);
    for (std::size_t k = 0; k < shown.size(); ++k)
        FolderCardPaint::paint(painter, m_folderCells[shown[k]], t, inputs[k]);
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    for (std::size_t i = 0; i < m_fileCells.size(); ++i) {
        if (!m_fileCells[i].intersects(exposed)) continue;
        const FileNode* n = m_lists.files[i];
        const double hover = keyboardOn({Grid::files, int(i)}) ? 1.0 : m_fileHover[i];
        FileCardPaint::paint(painter, m_fileCells[i], t, {n, allocated, m_state.isQueued(n), hover, now});
    }
}

void FolderPage::paintSectionHeader(QPainter& painter, const QRectF& rect, const QString& title, int count, int shown) {
    const Theme& t = theme();
    const QRectF titleBox = TextDraw::draw(painter, rect, title, {titleFont(), t.text});
    const QString number = QString::number(count);
    const QFontMetricsF metrics(countFont());
    const QRectF pill(titleBox.right() + 9, rect.center().y() - (metrics.height() + 5) / 2,
                      metrics.horizontalAdvance(number) + 14, metrics.height() + 5);
    ShapePaint::fillRounded(painter, pill, ShapePaint::capsuleRadius(pill), t.surfaceRaised);
    TextDraw::draw(painter, pill, number, {countFont(), t.textSecondary, Qt::AlignCenter});
    if (shown < count) {
        const QString note = QStringLiteral("showing the %1 largest").arg(shown);
        TextDraw::draw(painter, QRectF(pill.right() + 9, rect.top(), rect.right() - pill.right() - 9, rect.height()),
                       note, {noteFont(), t.textTertiary});
    }
}

void FolderPage::paintBackPill(QPainter& painter, const QRectF& rect) {
    const Theme& t = theme();
    painter.save();
    if (m_pillPressed) painter.setOpacity(0.7);
    ShapePaint::fillRounded(painter, rect, ShapePaint::capsuleRadius(rect), t.surface);
    ShapePaint::strokeInside(painter, rect, ShapePaint::capsuleRadius(rect), t.stroke);
    const QSizeF symbol = SymbolImage::size(10);
    const QRectF symbolBox(rect.left() + 11, rect.center().y() - symbol.height() / 2, symbol.width(), symbol.height());
    SymbolImage::draw(painter, symbolBox, "arrow.turn.left.up", 10, QFont::DemiBold, t.textSecondary);
    const QString text = TextDraw::oneLine(FolderListing::destinationName(*m_state.focus()->parent));
    TextDraw::Style style{pillFont(), t.textSecondary};
    style.truncation = TextDraw::Truncation::middle;
    TextDraw::draw(painter, QRectF(symbolBox.right() + 7, rect.top(), rect.right() - 11 - symbolBox.right() - 7, rect.height()),
                   text, style);
    painter.restore();
}

void FolderPage::paintPlaceholder(QPainter& painter, const QRectF& rect) {
    const Theme& t = theme();
    const QRectF square(rect.center().x() - 31, rect.top() + 60, 62, 62);
    ShapePaint::fillRounded(painter, square, 16, ShapePaint::withOpacity(t.ramp[7], t.isDark ? 0.22 : 0.34));
    SymbolImage::draw(painter, square, "folder", 23, QFont::Normal, ShapePaint::withOpacity(t.text, 0.7));
    TextDraw::draw(painter, QRectF(rect.left(), square.bottom() + 10, rect.width(), rect.bottom() - square.bottom() - 10),
                   QStringLiteral("This folder is empty"), {emptyFont(), t.text, Qt::AlignHCenter | Qt::AlignTop});
}

void FolderPage::mouseMoveEvent(QMouseEvent* event) {
    setHover(cardAt(event->position()));
    ThemedWidget::mouseMoveEvent(event);
}

void FolderPage::leaveEvent(QEvent* event) {
    // The cards drop back; the store keeps the last hovered node.
    if (node(m_hover)) animateHover(m_hover, 0);
    m_hover = {};
    ThemedWidget::leaveEvent(event);
}

void FolderPage::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mousePressEvent(event);
    const QPointF at = event->position();
    if (m_pill && m_pill->contains(at)) {
        m_pillPressed = true;
        RepaintArea::update(*this, *m_pill);
        return;
    }
    const CardRef card = cardAt(at);
    setHover(card);
    if (onButton(card, at)) {
        m_pressedButton = card;
        if (card.grid == Grid::folders) pressButton(card); // a menu opens on the press
        return;
    }
    const FileNode* n = node(card);
    if (!n) return;
    if (card.grid == Grid::folders && !FolderCardPaint::hitArea(cell(card), hover(card)).contains(at)) return;
    m_state.setSelection(m_state.retain(n));
}

void FolderPage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mouseReleaseEvent(event);
    const QPointF at = event->position();
    if (m_pillPressed) {
        m_pillPressed = false;
        if (m_pill) RepaintArea::update(*this, *m_pill);
        else update();
        if (m_pill && m_pill->contains(at)) m_state.navigateUp();
        return;
    }
    const CardRef pressed = m_pressedButton;
    m_pressedButton = {};
    if (pressed.grid == Grid::files && buttonRect(pressed).contains(at)) pressButton(pressed);
}

void FolderPage::pressButton(CardRef card) {
    const FileNode* n = node(card);
    if (!n) return;
    if (card.grid == Grid::files) {
        m_state.toggleQueue(m_state.retain(n));
        return;
    }
    openMenu(card, mapToGlobal(buttonRect(card).bottomLeft().toPoint()));
}

void FolderPage::openMenu(CardRef card, QPoint at) {
    if (const FileNode* n = node(card))
        if (QMenu* menu = NodeContextMenu::create(m_state, m_state.retain(n), this)) menu->popup(at);
}

void FolderPage::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mouseDoubleClickEvent(event);
    const QPointF at = event->position();
    if (m_pill && m_pill->contains(at)) {
        m_pillPressed = true; // the second click of a quick pair is a click of its own
        return;
    }
    const CardRef card = cardAt(at);
    if (onButton(card, at)) {
        m_pressedButton = card;
        if (card.grid == Grid::folders) pressButton(card);
        return;
    }
    if (card.grid == Grid::folders && !FolderCardPaint::hitArea(cell(card), hover(card)).contains(at)) return;
    doubleClick(card);
}

void FolderPage::doubleClick(CardRef card) {
    const FileNode* n = node(card);
    if (!n) return;
    if (card.grid == Grid::folders) {
        // Straight to the store: the folder opens, the selection goes.
        if (!n->isDirectory || !n->hasChildren()) return;
        m_state.setFocus(m_state.retain(n));
        m_state.setSelection(nullptr);
        return;
    }
    if (n->isPackage && n->hasChildren()) m_state.drill(m_state.retain(n));
    else m_state.desktop().preview({n->path()});
}

void FolderPage::contextMenuEvent(QContextMenuEvent* event) {
    const QPointF at = event->pos();
    const CardRef card = cardAt(at);
    const FileNode* n = node(card);
    if (!n) return;
    if (card.grid == Grid::folders && !FolderCardPaint::hitArea(cell(card), hover(card)).contains(at)) return;
    if (QMenu* menu = NodeContextMenu::create(m_state, m_state.retain(n), this)) menu->popup(event->globalPos());
}

bool FolderPage::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return ThemedWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const CardRef card = cardAt(help->pos());
    const FileNode* n = node(card);
    if (!n || (card.grid == Grid::folders && !FolderCardPaint::hitArea(cell(card), hover(card)).contains(help->pos()))) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QString text = TextDraw::oneLine(n->path());
    if (card.grid == Grid::folders) text += QStringLiteral(" — double-click to open");
    QToolTip::showText(help->globalPos(), TextDraw::plainToolTip(text), this, cell(card).toAlignedRect());
    return true;
}

} // namespace tallymere
