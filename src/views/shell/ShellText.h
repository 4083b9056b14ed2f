#pragma once
#include <QString>

namespace tallymere::ShellText {

// A name or message as one line of plain text: line breaks, tabs and other control characters
// become visible escapes ("\n", "\t", "\x1b"), so a file name can never break a title or banner.
QString oneLine(const QString& text);

} // namespace tallymere::ShellText
