#include "views/viz/VizText.h"

#include "base/PathText.h"
#include "base/Utf8.h"
#include "core/FileNode.h"

#include <QTextBoundaryFinder>

#include <vector>

namespace tallymere::VizText {

namespace {

QString escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != 0x7f && !(u >= 0x80 && u < 0xa0)) {
            out += c;
            continue;
        }
        switch (u) {
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        default: out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        }
    }
    return out;
}

// Where each user-perceived character starts, and the text's end.
std::vector<int> boundaries(const QString& text) {
    std::vector<int> at;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    at.push_back(0);
    for (qsizetype p = finder.toNextBoundary(); p > 0; p = finder.toNextBoundary()) at.push_back(int(p));
    if (at.empty()) at.push_back(0);
    return at;
}

} // namespace

QString name(const FileNode& node) { return escaped(QString::fromStdString(node.displayName())); }

QString startTitle(const FileNode& node) {
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    return escaped(QString::fromStdString(repairUtf8(PathText::lastComponent(path))));
}

int characterCount(const QString& text) { return int(boundaries(text).size()) - 1; }

QString cutMiddle(const QString& text, int head, int tail) {
    const std::vector<int> at = boundaries(text);
    const int count = int(at.size()) - 1;
    if (head < 0 || tail < 0 || count <= head + tail) return text;
    return text.left(at[head]) + QChar(0x2026) + text.mid(at[count - tail]);
}

} // namespace tallymere::VizText
