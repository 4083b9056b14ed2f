#include "app/MenuCommands.h"

#include "state/AppState.h"
#include "platform/UserFolders.h"
#include "views/shell/preview/PreviewWindow.h"
#include "services/TrashService.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>

namespace tallymere {

namespace {

// The letters the menu titles mark show, underlined, only while Alt is held, as the desktop's own
// menus do; otherwise the titles read as written.
class MnemonicStyle : public QProxyStyle {
public:
    explicit MnemonicStyle(QMenuBar* bar) : QProxyStyle(QApplication::style()->name()), m_bar(bar) {
        setParent(bar);
        qApp->installEventFilter(this);
    }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_UnderlineShortcut && widget == m_bar) return m_altHeld;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        bool held = m_altHeld;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            held = key->key() == Qt::Key_Alt ? event->type() == QEvent::KeyPress
                                             : bool(key->modifiers() & Qt::AltModifier);
            break;
        }
        case QEvent::ApplicationDeactivate: held = false; break;
        default: return false;
        }
        if (held != m_altHeld) {
            m_altHeld = held;
            m_bar->update();
        }
        return false;
    }

private:
    QMenuBar* m_bar;
    bool m_altHeld = false;
};

} // namespace

MenuCommands::MenuCommands(AppState& state, Services services, QObject* parent)
    : QObject(parent), m_state(state), m_services(std::move(services)) {
    if (!m_services.preview) m_services.preview = QuickLook::preview;
    if (!m_services.homeFolder) m_services.homeFolder = UserFolders::home;

    for (auto signal : {&AppState::isScanningChanged, &AppState::focusChanged, &AppState::displayRootChanged,
                        &AppState::showLabelsChanged, &AppState::useAllocatedSizeChanged,
                        &AppState::selectionChanged, &AppState::queueChanged})
        connect(&m_state, signal, this, &MenuCommands::refresh);
}

void MenuCommands::install(QMenuBar* bar) {
    // Each title marks its first letter, so Alt and that letter open the menu; the mark shows as
    // an underline only while Alt is held, and the title reads as written.
    bar->setStyle(new MnemonicStyle(bar));
    m_menus = {buildFileMenu(bar), buildViewMenu(bar), buildSelectionMenu(bar)};
    for (QMenu* menu : m_menus) bar->addMenu(menu);
    refresh();
}

QAction* MenuCommands::action(const QString& title) const {
    for (QAction* item : m_actions)
        if (item->text() == title) return item;
    return nullptr;
}

QAction* MenuCommands::add(QMenu* menu, const QString& title, const QKeySequence& key, std::function<void()> run) {
    QAction* item = menu->addAction(title);
    item->setShortcut(key);
    // Key equivalents act in every window of the program, Settings and the preview included. A bare
    // Space stays with the main window: elsewhere it belongs to the focused control (the preview
    // closes on it by itself).
    item->setShortcutContext(key == QKeySequence(Qt::Key_Space) ? Qt::WindowShortcut : Qt::ApplicationShortcut);
    connect(item, &QAction::triggered, this, [run = std::move(run)] { run(); });
    m_actions.append(item);
    return item;
}

QMenu* MenuCommands::buildFileMenu(QWidget* parent) {
    auto* menu = new QMenu(QStringLiteral("&File"), parent);
    add(menu, QStringLiteral("Scan Full Mac"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D),
        [this] { m_state.scan(ScanTarget::fullDisk()); });
    add(menu, QStringLiteral("Scan Home Folder"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H),
        [this] { m_state.scan(ScanTarget::home(m_services.homeFolder())); });
    add(menu, QStringLiteral("Choose Folder…"), QKeySequence(Qt::CTRL | Qt::Key_O), [this] { m_state.chooseFolder(); });
    menu->addSeparator();
    m_stopScan = add(menu, QStringLiteral("Stop Scan"), QKeySequence(Qt::CTRL | Qt::Key_Period),
                     [this] { m_state.cancelScan(); });

    // The desktop's own application items; another desktop keeps them in an application menu.
    menu->addSeparator();
    QAction* settings = add(menu, QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] {
        if (m_services.showSettings) m_services.showSettings();
    });
    settings->setMenuRole(QAction::PreferencesRole);
    QAction* quit = add(menu, QStringLiteral("Quit Tallymere"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] {
        if (m_services.quit) m_services.quit();
    });
    quit->setMenuRole(QAction::QuitRole);
    return menu;
}

QMenu* MenuCommands::buildViewMenu(QWidget* parent) {
    auto* menu = new QMenu(QStringLiteral("&View"), parent);
    int place = 0;
    for (VizMode mode : VizModes::all) {
        ++place;
        // The digit is the mode's place in the menu order, so the shortcuts follow that order.
        auto digit = static_cast<Qt::Key>(Qt::Key_0 + place);
        add(menu, QString::fromUtf8(VizModes::title(mode)), QKeySequence(Qt::CTRL | digit),
            [this, mode] { m_state.setViz(mode); });
    }
    menu->addSeparator();
    m_backToParent = add(menu, QStringLiteral("Back to Parent"), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft),
                         [this] { m_state.navigateUp(); });
    add(menu, QStringLiteral("Back to Scan Root"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BracketLeft),
        [this] { m_state.setFocus(m_state.displayRoot()); });
    menu->addSeparator();
    m_labels = add(menu, QStringLiteral("Hide Labels"), QKeySequence(Qt::CTRL | Qt::Key_L),
                   [this] { m_state.setShowLabels(!m_state.showLabels()); });
    m_sizeMode = add(menu, QStringLiteral("Show Logical Size"), QKeySequence(Qt::CTRL | Qt::Key_B),
                     [this] { m_state.setUseAllocatedSize(!m_state.useAllocatedSize()); });
    return menu;
}

QMenu* MenuCommands::buildSelectionMenu(QWidget* parent) {
    auto* menu = new QMenu(QStringLiteral("&Selection"), parent);
    m_reveal = add(menu, QStringLiteral("Reveal in Finder"), QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
        std::vector<std::string> paths = selectedPaths();
        if (!paths.empty() && m_services.desktop) TrashService::revealInFinder(*m_services.desktop, paths);
    });
    m_quickLook = add(menu, QStringLiteral("Quick Look"), QKeySequence(Qt::Key_Space), [this] {
        std::vector<std::string> paths = selectedPaths();
        if (!paths.empty()) m_services.preview(paths);
    });
    m_addToCleanup = add(menu, QStringLiteral("Add to Cleanup"), QKeySequence(Qt::CTRL | Qt::Key_Backspace), [this] {
        if (AppState::NodePtr node = m_state.selection()) m_state.enqueue(node);
    });
    menu->addSeparator();
    // No confirmation: items go to the Trash, from where they can be put back.
    m_emptyQueue = add(menu, QStringLiteral("Empty Cleanup Queue…"), QKeySequence(), [this] { m_state.emptyQueue(); });
    return menu;
}

std::vector<std::string> MenuCommands::selectedPaths() const {
    if (const AppState::NodePtr& node = m_state.selection()) return {node->path()};
    return {};
}

void MenuCommands::refresh() {
    if (m_menus.isEmpty()) return;
    m_stopScan->setEnabled(m_state.isScanning());
    const AppState::NodePtr& focus = m_state.focus();
    m_backToParent->setEnabled(focus && focus->parent != nullptr);
    // The switch titles name what choosing the item does, not the current state.
    m_labels->setText(m_state.showLabels() ? QStringLiteral("Hide Labels") : QStringLiteral("Show Labels"));
    m_sizeMode->setText(m_state.useAllocatedSize() ? QStringLiteral("Show Logical Size")
                                                   : QStringLiteral("Show Size on Disk"));
    bool hasSelection = m_state.selection() != nullptr;
    m_reveal->setEnabled(hasSelection);
    m_quickLook->setEnabled(hasSelection);
    m_addToCleanup->setEnabled(hasSelection);
    m_emptyQueue->setEnabled(!m_state.queue().empty());
}

} // namespace tallymere
