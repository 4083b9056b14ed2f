#include "views/explore/table/TableView.h"

#include "platform/UserFolders.h"
#include "style/DateFormat.h"
#include "views/explore/table/CsvExport.h"
#include "views/explore/table/TableBody.h"
#include "views/explore/table/TableControls.h"
#include "views/explore/table/TableHeader.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tallymere {

namespace {

// The folder the last export of this run went to; empty before any.
QString& lastFolder() {
    static QString folder;
    return folder;
}

std::optional<QString> askWithDialog(QWidget* parent, const QString& suggestedName) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Comma-separated values (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // Not the working folder, which is "/" for a window started from the desktop's menus.
    dialog.setDirectory(lastFolder().isEmpty() ? QString::fromStdString(UserFolders::home()) : lastFolder());
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    lastFolder() = QFileInfo(chosen).absolutePath();
    return chosen;
}

} // namespace

TableView::TableView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_chooser(askWithDialog), m_controls(new TableControls),
      m_header(new TableHeader), m_body(new TableBody(state)) {
    m_options.useAllocated = m_state.useAllocatedSize();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_controls);
    layout->addWidget(m_header);
    layout->addWidget(m_body, 1);

    m_controls->setOnToggle([this] { setRecursive(!m_options.recursive); });
    m_controls->setOnExport([this] { exportCsv(); });
    m_header->setOnClick([this](TableColumn column) { clickHeader(column); });
    connect(&m_state, &AppState::focusChanged, this, &TableView::rebuild);
    connect(&m_state, &AppState::displayRootChanged, this, &TableView::rebuild);
    connect(&m_state, &AppState::useAllocatedSizeChanged, this, &TableView::rebuild);
    // The lines narrow when their scroll bar shows; the titles follow them.
    connect(m_body->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        m_header->setTrailingMargin(maximum > 0 ? m_body->width() - m_body->viewport()->width() : 0);
    });
    m_body->setTheme(theme());
    rebuild();
}

void TableView::themeChanged() { m_body->setTheme(theme()); }

AppState::NodePtr TableView::shownFolder() const { return m_state.focus() ? m_state.focus() : m_state.displayRoot(); }

void TableView::rebuild() {
    m_options.useAllocated = m_state.useAllocatedSize();
    m_folder = shownFolder();
    m_rows = TableRows::rows(m_folder.get(), m_options);
    m_body->setRows(m_rows);
    m_controls->setRowCount(static_cast<std::int64_t>(m_rows.size()));
    m_controls->setRecursive(m_options.recursive);
    m_header->setSort(m_options.sort, m_options.ascending);
}

void TableView::clickHeader(TableColumn column) {
    if (column == m_options.sort) {
        m_options.ascending = !m_options.ascending;
    } else {
        m_options.sort = column;
        m_options.ascending = column == TableColumn::name;
    }
    rebuild();
}

void TableView::setRecursive(bool recursive) {
    if (m_options.recursive == recursive) return;
    m_options.recursive = recursive;
    rebuild();
}

void TableView::exportCsv() {
    const AppState::NodePtr folder = shownFolder();
    if (!folder || !m_chooser) return;
    // The lines as they are now; the dialog may run an event loop that changes the store.
    const std::vector<const FileNode*> rows = m_rows;
    const AppState::NodePtr keep = m_folder;
    const std::optional<QString> path = m_chooser(this, CsvExport::suggestedName(*folder));
    if (!path || path->isEmpty()) return;
    const std::string text =
        CsvExport::text(rows, [](double seconds) { return DateFormat::absolute(seconds).toStdString(); });
    if (const std::optional<QString> failure = CsvExport::write(*path, text))
        m_state.setBanner(AppState::Banner::make(AppState::Banner::Kind::error,
                                                 QStringLiteral("Could not save the table"),
                                                 QFileInfo(*path).fileName() + QStringLiteral(": ") + *failure));
}

} // namespace tallymere
