#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/folders/FolderListing.h"

#include <QRectF>

#include <array>
#include <map>
#include <optional>
#include <vector>

class QKeyEvent;
class QVariantAnimation;

namespace tallymere {

class ItemButton;
class KeyStop;

// The page of the Folders view: the back pill, the "Folders" and "Files" sections with their
// grids of cards, or the placeholder of an empty folder. The cards are painted, not widgets, and
// only those in the exposed area are drawn, so a folder of many thousands costs what one screen
// costs. The page lists the shown folder (the focus, else the displayed tree) afresh whenever the
// focus, the displayed tree or the size mode changes, and lays itself out for the width it is
// given (setPageWidth); its height follows.
//
// Cards are identified by their position, so after a change of folder the hover of position k
// stays with position k. Entering a card hovers its node in the store; leaving keeps it.
//
// By keyboard (FolderPageKeys.cpp) the back pill is a stop of Tab, and each grid is one stop on
// its current card, ringed round it and shown as hovered: the arrows walk the grid by rows and
// columns, Space does what a click on the card does and Return what a double click does, and the
// context-menu key opens the card's menu. Right from a card reaches its button (a folder's menu,
// a file's queue button), which Space or Return press; Right again goes on to the next card. A
// folder opened or left while the keyboard is on the page leaves it on the first card shown.
class FolderPage : public ThemedWidget {
    Q_OBJECT
public:
    FolderPage(AppState& state, int maxFolders, int maxFiles, QWidget* parent = nullptr);

    // Lays the page out for `width` and takes the height that needs.
    void setPageWidth(int width);

    // What is on the page, for the view's tests.
    enum class Grid { none, folders, files };
    struct CardRef {
        Grid grid = Grid::none;
        int index = -1;
        friend bool operator==(const CardRef&, const CardRef&) = default;
    };
    const FolderListing::Lists& lists() const { return m_lists; }
    int shownFolders() const { return static_cast<int>(m_folderCells.size()); }
    int shownFiles() const { return static_cast<int>(m_fileCells.size()); }
    const std::vector<QRectF>& folderCells() const { return m_folderCells; }
    const std::vector<QRectF>& fileCells() const { return m_fileCells; }
    std::optional<QRectF> backPill() const { return m_pill; }
    std::optional<QRectF> placeholder() const { return m_placeholder; }
    QRectF foldersHeader() const { return m_foldersHeader; }
    QRectF filesHeader() const { return m_filesHeader; }
    CardRef hoveredCard() const { return m_hover; }
    CardRef cardAt(QPointF point) const;
    // The button's rectangle on a card (the folder's menu, the file's queue button).
    QRectF buttonRect(CardRef card) const;

    // The keyboard's stops: the back pill, and each grid's on its current card (keyCard()).
    KeyStop* backStop() const { return m_backStop; }
    KeyStop* gridStop(Grid grid) const;
    int keyCard(Grid grid) const;

    // The composition summaries worked out so far (cached per card until the list changes).
    int compositionsComputed() const { return m_compositionsComputed; }

    QSize sizeHint() const override;

signals:
    // The shown folder changed by identity: the view scrolls back to the top.
    void folderChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void themeChanged() override { update(); }

private:
    void relist();
    void relayout();
    const FileNode* node(CardRef card) const;
    QRectF cell(CardRef card) const;
    double hover(CardRef card) const;
    void setHover(CardRef card);
    void animateHover(CardRef card, double target);
    bool onButton(CardRef card, QPointF point) const;
    void pressButton(CardRef card);
    void doubleClick(CardRef card);
    const std::vector<FileCategory>& dots(int index);

    // The keyboard, in FolderPageKeys.cpp.
    void setUpKeys();
    // Lays the stops over the pill and the current cards; `restart` puts each grid's first.
    void placeKeyStops(bool restart);
    bool gridKey(Grid grid, QKeyEvent* event);
    void moveKeyCard(Grid grid, int index);
    // Whether one of the page's stops holds the keyboard, with its ring (null when none does): it
    // is parked on the page itself while the folder changes, so no stop hands it on as it hides.
    std::optional<bool> parkKeys();
    // Gives the parked keyboard to the first card shown (a folder, else a file), else the pill.
    void enterCards(bool ringed);
    // A card the keyboard is on, by its grid's stop or its button: it shows as hovered.
    bool keyboardOn(CardRef card) const;
    void openMenu(CardRef card, QPoint at);

    void paintSectionHeader(QPainter& painter, const QRectF& rect, const QString& title, int count, int shown);
    void paintBackPill(QPainter& painter, const QRectF& rect);
    void paintPlaceholder(QPainter& painter, const QRectF& rect);

    AppState& m_state;
    int m_maxFolders;
    int m_maxFiles;
    AppState::NodePtr m_folder; // keeps every listed node alive
    FolderListing::Lists m_lists;
    std::vector<std::optional<std::vector<FileCategory>>> m_dots;
    int m_compositionsComputed = 0;

    int m_width = 0;
    double m_height = 0;
    std::optional<QRectF> m_pill;
    QRectF m_foldersHeader, m_filesHeader;
    std::vector<QRectF> m_folderCells, m_fileCells;
    std::optional<QRectF> m_placeholder;

    CardRef m_hover;
    std::vector<double> m_folderHover, m_fileHover;
    std::map<std::pair<int, int>, QVariantAnimation*> m_animations;
    CardRef m_pressedButton;
    bool m_pillPressed = false;

    KeyStop* m_backStop = nullptr;
    std::array<KeyStop*, 2> m_gridStops{};      // folders, files
    std::array<ItemButton*, 2> m_cardButtons{};
    std::array<int, 2> m_keyCards{};
};

} // namespace tallymere
