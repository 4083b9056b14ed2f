#pragma once
#include "core/ByteFormat.h"

#include <QLocale>
#include <QString>

#include <cstdint>

namespace tallymere::DisplayText {

// A byte size as the views show it ("4.2 MB"), its figure and unit held together by a no-break
// space.
inline QString sizeText(std::int64_t bytes) {
    return QString::fromStdString(ByteFormat::unbroken(bytes, false));
}

// "1 file", "1,204 files": grouped as the desktop's locale groups numbers.
inline QString countText(std::int64_t n, const char* singular, const char* plural) {
    return QLocale::system().toString(static_cast<qlonglong>(n)) + ' ' +
           QString::fromLatin1(n == 1 ? singular : plural);
}

} // namespace tallymere::DisplayText
