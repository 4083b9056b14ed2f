// The Folders page by keyboard: the back pill's stop, and each grid's stop on its current card
// with the card's button reached by Right.
#include "views/explore/folders/FolderPage.h"

#include "views/components/FocusChain.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ItemButton.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/explore/folders/CardGrid.h"
#include "views/explore/folders/FileCardPaint.h"
#include "views/explore/folders/FolderCardPaint.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double cardRadius = 13;

// A grid's stop, which opens its card's menu for the context-menu key.
class GridStop : public KeyStop {
public:
    GridStop(std::function<void()> action, std::function<void()> menu, QWidget* page)
        : KeyStop(std::move(action), page), m_menu(std::move(menu)) {}

protected:
    void contextMenuEvent(QContextMenuEvent*) override { m_menu(); }

private:
    std::function<void()> m_menu;
};

std::size_t slot(FolderPage::Grid grid) { return grid == FolderPage::Grid::folders ? 0 : 1; }

// The columns of a grid: the cards of its first row.
int columnsOf(const std::vector<QRectF>& cells) {
    return int(std::count_if(cells.begin(), cells.end(), [&](const QRectF& c) { return c.top() == cells.front().top(); }));
}

// Whether a card ends its row of the grid.
bool endsRow(const std::vector<QRectF>& cells, int index) {
    return index + 1 >= int(cells.size()) || (index + 1) % std::max(columnsOf(cells), 1) == 0;
}

} // namespace

void FolderPage::setUpKeys() {
    m_backStop = new KeyStop([this] { m_state.navigateUp(); }, this);
    m_backStop->setObjectName(QStringLiteral("backChip"));
    for (Grid grid : {Grid::folders, Grid::files}) {
        const std::size_t g = slot(grid);
        auto current = [this, grid, g] { return CardRef{grid, m_keyCards[g]}; };
        auto* stop = new GridStop([this, current] {
            if (const FileNode* n = node(current())) m_state.setSelection(m_state.retain(n));
        }, [this, current] {
            const QRectF card = cell(current());
            openMenu(current(), mapToGlobal(QPoint(int(card.left()) + 24, int(card.bottom()))));
        }, this);
        stop->setObjectName(grid == Grid::folders ? QStringLiteral("folderCards") : QStringLiteral("fileCards"));
        stop->setKeyHandler([this, grid](QKeyEvent* event) { return gridKey(grid, event); });
        m_gridStops[g] = stop;
        auto* button = new ItemButton([this, current] { pressButton(current()); }, stop, this);
        button->setObjectName(grid == Grid::folders ? QStringLiteral("cardMenu") : QStringLiteral("cardQueue"));
        // Right from the button goes on to the next card of the row.
        button->setOnRight([this, grid, g, stop] {
            if (endsRow(grid == Grid::folders ? m_folderCells : m_fileCells, m_keyCards[g])) return;
            stop->setFocus(Qt::OtherFocusReason);
            FocusRing::setShown(stop, true);
            moveKeyCard(grid, m_keyCards[g] + 1);
        });
        m_cardButtons[g] = button;
    }
    // The card the keyboard is on shows as hovered, its button too.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* was, QWidget* now) {
        for (std::size_t g = 0; g < 2; ++g)
            for (QWidget* w : {static_cast<QWidget*>(m_gridStops[g]), static_cast<QWidget*>(m_cardButtons[g])})
                if (w == was || w == now) return update();
    });
}

KeyStop* FolderPage::gridStop(Grid grid) const { return grid == Grid::none ? nullptr : m_gridStops[slot(grid)]; }

int FolderPage::keyCard(Grid grid) const { return grid == Grid::none ? -1 : m_keyCards[slot(grid)]; }

bool FolderPage::keyboardOn(CardRef card) const {
    if (card.grid == Grid::none || !m_gridStops[0]) return false;
    const std::size_t g = slot(card.grid);
    return card.index == m_keyCards[g] && (m_gridStops[g]->hasFocus() || m_cardButtons[g]->hasFocus());
}

void FolderPage::placeKeyStops(bool restart) {
    if (!m_backStop) return;
    m_backStop->place(m_pill.value_or(QRectF()), m_pill ? ShapePaint::capsuleRadius(*m_pill) : 0, 0);
    // The files first: a folder grid that goes with the keyboard (an opened folder holds no
    // folders) hands it to the files as they now are.
    for (Grid grid : {Grid::files, Grid::folders}) {
        const std::size_t g = slot(grid);
        const int count = grid == Grid::folders ? shownFolders() : shownFiles();
        m_keyCards[g] = restart ? 0 : std::clamp(m_keyCards[g], 0, std::max(count - 1, 0));
        const CardRef card{grid, m_keyCards[g]};
        // The card as it shows under the keyboard: lifted as a hovered one is.
        const QRectF shown = count == 0 ? QRectF()
                             : grid == Grid::folders ? FolderCardPaint::lifted(cell(card), 1)
                                                     : FileCardPaint::lifted(cell(card), 1);
        m_gridStops[g]->place(shown, cardRadius);
        if (m_cardButtons[g]->hasFocus() || count == 0) m_cardButtons[g]->place(count == 0 ? QRectF() : buttonRect(card), 100);
    }
}

std::optional<bool> FolderPage::parkKeys() {
    QWidget* held = QApplication::focusWidget();
    const std::array<QWidget*, 5> stops{m_backStop, m_gridStops[0], m_gridStops[1], m_cardButtons[0], m_cardButtons[1]};
    if (!held || std::find(stops.begin(), stops.end(), held) == stops.end()) return std::nullopt;
    const bool ringed = FocusRing::shown(held);
    setFocus(Qt::OtherFocusReason);
    return ringed;
}

void FolderPage::enterCards(bool ringed) {
    QWidget* target = shownFolders() > 0 ? m_gridStops[slot(Grid::folders)]
                      : shownFiles() > 0 ? m_gridStops[slot(Grid::files)]
                                         : m_backStop;
    if (target->isHidden()) return;
    target->setFocus(Qt::OtherFocusReason);
    FocusRing::setShown(target, ringed);
}

void FolderPage::moveKeyCard(Grid grid, int index) {
    const std::size_t g = slot(grid);
    const int count = grid == Grid::folders ? shownFolders() : shownFiles();
    if (count == 0) return;
    update(cell({grid, m_keyCards[g]}).adjusted(-4, -4, 4, 4).toAlignedRect());
    m_keyCards[g] = std::clamp(index, 0, count - 1);
    placeKeyStops(false);
    update(cell({grid, m_keyCards[g]}).adjusted(-4, -4, 4, 4).toAlignedRect());
    FocusChain::bringIntoView(m_gridStops[g]);
}

bool FolderPage::gridKey(Grid grid, QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier) return false;
    const std::size_t g = slot(grid);
    const std::vector<QRectF>& cells = grid == Grid::folders ? m_folderCells : m_fileCells;
    if (cells.empty()) return false;
    const int now = m_keyCards[g];
    const int count = int(cells.size());
    const int columns = columnsOf(cells);
    switch (event->key()) {
    case Qt::Key_Left:
        if (now % columns != 0) moveKeyCard(grid, now - 1);
        return true;
    case Qt::Key_Right: {
        ItemButton* button = m_cardButtons[g];
        button->place(buttonRect({grid, now}), 100);
        if (!button->enter() && !endsRow(cells, now)) moveKeyCard(grid, now + 1);
        return true;
    }
    case Qt::Key_Up:
        if (now >= columns) moveKeyCard(grid, now - columns);
        return true;
    case Qt::Key_Down:
        // Into the last row, which may be short, at its last card.
        if (now / columns < (count - 1) / columns) moveKeyCard(grid, std::min(now + columns, count - 1));
        return true;
    case Qt::Key_Home: moveKeyCard(grid, 0); return true;
    case Qt::Key_End: moveKeyCard(grid, count - 1); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: doubleClick({grid, now}); return true;
    default: return false;
    }
}

} // namespace tallymere
