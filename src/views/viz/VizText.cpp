#include "views/viz/VizText.h"

#include "base/PathText.h"
#include "core/FileNode.h"
#include "views/components/TextDraw.h"

#include <QTextBoundaryFinder>

#include <vector>

namespace tallymere::VizText {

namespace {

// Where each user-perceived character starts, and the text's end.
std::vector<int> boundaries(const QString& text) {
    std::vector<int> at;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    at.push_back(0);
    for (qsizetype p = finder.toNextBoundary(); p > 0; p = finder.toNextBoundary()) at.push_back(int(p));
    return at;
}

} // namespace

QString name(const FileNode& node) { return TextDraw::oneLine(node.name()); }

QString startTitle(const FileNode& node) {
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    return TextDraw::oneLine(PathText::lastComponent(path));
}

int characterCount(const QString& text) { return int(boundaries(text).size()) - 1; }

QString cutMiddle(const QString& text, int head, int tail) {
    const std::vector<int> at = boundaries(text);
    const int count = int(at.size()) - 1;
    if (head < 0 || tail < 0 || count <= head + tail) return text;
    return text.left(at[head]) + QChar(0x2026) + text.mid(at[count - tail]);
}

} // namespace tallymere::VizText
