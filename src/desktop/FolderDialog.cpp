#include "desktop/FolderDialog.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>

namespace tallymere::FolderDialog {

std::optional<std::string> choose() {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Analyse"));
    dialog.setWindowTitle(QStringLiteral("Choose a folder or volume to analyse"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return QFile::encodeName(chosen.front()).toStdString();
}

} // namespace tallymere::FolderDialog
