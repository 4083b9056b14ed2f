#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/inspector/InspectorModel.h"

#include <QIcon>
#include <QString>

#include <vector>

class QHBoxLayout;
class QPlainTextEdit;

namespace tallymere {

class Chip;

// The inspector's first block: the node's icon tile beside its name (two lines at most, shortened
// in the middle) and its badges, then its full path (selectable, three lines at most), then its
// size in the current size mode with its share of the scan. Holds the node it shows.
class InspectorIdentity : public ThemedWidget {
    Q_OBJECT
public:
    explicit InspectorIdentity(QWidget* parent = nullptr);

    // Shows `node` (not null); `share` is its fraction of the displayed tree.
    void describe(AppState::NodePtr node, bool useAllocated, double share);
    // Lets go of the node shown, so that the block no longer keeps its tree alive; the block shows
    // nothing until the next describe().
    void clear();

    // What is shown, for tests and accessibility.
    QString nameText() const { return m_name; }
    QString pathText() const;
    QString sizeText() const { return m_size; }
    QString shareText() const { return m_share; }
    std::vector<QString> badgeTexts() const;
    QWidget* tile() const;

    static constexpr int tileSize = 48;

    // Painting parts, public so the view can measure and tests can reach them.
    class Tile;
    class Name;
    class SizeLine;

protected:
    void themeChanged() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutPath();
    // Badge tints are theme colours, picked again when the theme changes.
    void tintBadges();

    AppState::NodePtr m_node;
    QString m_name;
    QString m_path;
    QString m_size;
    QString m_share;
    QIcon m_icon;
    Tile* m_tile;
    Name* m_nameView;
    SizeLine* m_sizeLine;
    QHBoxLayout* m_badgeRow;
    std::vector<Chip*> m_badges;
    std::vector<InspectorModel::Badge> m_badgeSpecs;
    QPlainTextEdit* m_pathView;
};

} // namespace tallymere
