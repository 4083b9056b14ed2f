#pragma once
#include "core/ByteFormat.h"
#include "core/FileNode.h"
#include "base/Utf8.h"

#include <QLocale>
#include <QString>

#include <cstdint>

namespace tallymere::DisplayText {

// A byte size as the views show it ("4.2 MB").
inline QString sizeText(std::int64_t bytes) {
    return QString::fromStdString(ByteFormat::string(bytes, false));
}

// "1 file", "1,204 files": grouped as the desktop's locale groups numbers.
inline QString countText(std::int64_t n, const char* singular, const char* plural) {
    return QLocale::system().toString(static_cast<qlonglong>(n)) + ' ' +
           QString::fromLatin1(n == 1 ? singular : plural);
}

// A name or path as a label shows it: valid UTF-8, on one line, control characters escaped.
// Set it as plain text (Qt::PlainText), never as rich text.
inline QString lineText(std::string_view bytes) {
    return QString::fromStdString(oneLine(bytes));
}

// A node's name as a label shows it.
inline QString nameText(const FileNode& node) {
    return lineText(node.name());
}

} // namespace tallymere::DisplayText
