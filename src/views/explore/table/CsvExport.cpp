#include "views/explore/table/CsvExport.h"

#include "base/Utf8.h"
#include "core/FileCategory.h"
#include "platform/PathGate.h"

#include <QFile>

#include <cerrno>
#include <charconv>
#include <cstdint>

namespace tallymere::CsvExport {

namespace {

void appendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

} // namespace

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string text(std::span<const FileNode* const> rows, const std::function<std::string(double)>& date) {
    std::string out;
    out.reserve(header.size() + 1 + rows.size() * 160);
    out.append(header);
    out.push_back('\n');
    for (const FileNode* node : rows) {
        out.append(CsvExport::quoted(node->displayPath()));
        out.push_back(',');
        out.append(CsvExport::quoted(node->displayName()));
        out.push_back(',');
        appendNumber(out, node->size);
        out.push_back(',');
        appendNumber(out, node->allocated);
        out.push_back(',');
        appendNumber(out, node->fileCount);
        out.push_back(',');
        out.append(CsvExport::quoted(node->isDirectory ? std::string_view("Folder") : FileCategories::title(node->category)));
        out.push_back(',');
        out.append(CsvExport::quoted(date(node->modified)));
        out.push_back('\n');
    }
    return out;
}

QString suggestedName(const FileNode& shown) {
    QString name = QString::fromStdString(shown.displayName());
    name.replace(u'/', u'_');
    return name + QStringLiteral("-Tallymere.csv");
}

std::optional<QString> write(const QString& path, std::string_view bytes) {
    // Through the gate: a target on a mount that stopped answering is refused within its bound.
    // The finished file is renamed over the path, so only a regular file is replaced: a pipe or a
    // device there (chosen by mistake, or put there since) would be replaced by a plain file. A link
    // to a regular file is written through, as the dialog showed it.
    std::string target = QFile::encodeName(path).toStdString();
    const PathGate::Text resolved = PathGate::realPath(target);
    if (resolved.error == 0) target = resolved.text;
    else if (resolved.error == PathGate::notAnswering) return QString::fromStdString(PathGate::message(resolved.error));
    const int error = PathGate::writeFile(target, std::string(bytes));
    if (error == 0) return std::nullopt;
    if (error == EINVAL) return QStringLiteral("it is not a regular file");
    return QString::fromStdString(PathGate::message(error));
}

} // namespace tallymere::CsvExport
