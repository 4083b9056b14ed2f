#include "views/shell/ShellText.h"

namespace tallymere::ShellText {

QString oneLine(const QString& text) {
    bool plain = true;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0)) plain = false;
    if (plain) return text;
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\n') out += QStringLiteral("\\n");
        else if (u == '\r') out += QStringLiteral("\\r");
        else if (u == '\t') out += QStringLiteral("\\t");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else out += c;
    }
    return out;
}

} // namespace tallymere::ShellText
