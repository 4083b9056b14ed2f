#include "views/explore/table/CsvExport.h"

#include "base/Utf8.h"
#include "core/FileCategory.h"

#include <QSaveFile>

#include <sys/stat.h>

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
        out.append(quoted(node->displayPath()));
        out.push_back(',');
        out.append(quoted(node->displayName()));
        out.push_back(',');
        appendNumber(out, node->size);
        out.push_back(',');
        appendNumber(out, node->allocated);
        out.push_back(',');
        appendNumber(out, node->fileCount);
        out.push_back(',');
        out.append(quoted(node->isDirectory ? std::string_view("Folder") : FileCategories::title(node->category)));
        out.push_back(',');
        out.append(quoted(date(node->modified)));
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
    // The finished file is renamed over the path: a pipe or a device there (chosen by mistake, or
    // put there since) would be replaced by a plain file. Only a regular file is replaced; a link
    // to one is written through, as the dialog showed it.
    struct stat existing {};
    if (::stat(path.toLocal8Bit().constData(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return QStringLiteral("it is not a regular file");
    QSaveFile file(path);
    // Unbuffered, so a failing write reports the system's reason rather than a buffered flush's.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return file.errorString();
    // A short write is tried again, so the one that fails outright names the reason.
    const char* data = bytes.data();
    auto left = static_cast<qint64>(bytes.size());
    while (left > 0) {
        const qint64 written = file.write(data, left);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        data += written;
        left -= written;
    }
    if (!file.commit()) return file.errorString();
    return std::nullopt;
}

} // namespace tallymere::CsvExport
