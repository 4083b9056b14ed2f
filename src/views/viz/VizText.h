#pragma once
#include <QRectF>
#include <QString>

namespace tallymere {

class FileNode;

// One label a canvas drew: its text and the box it claimed.
struct CanvasLabel {
    QString text;
    QRectF box;
};

// The texts the canvases write beside their shapes.
namespace VizText {

// The node's name as one line of text: invalid UTF-8 replaced, control characters shown as
// visible escapes ("\n", "\x1b").
QString name(const FileNode& node);

// The label of the start node: "Macintosh HD" for the root file system, else the last component
// of its path.
QString startTitle(const FileNode& node);

// Number of user-perceived characters (grapheme clusters).
int characterCount(const QString& text);

// The first `head` and the last `tail` user-perceived characters joined by "…"; the text itself
// when it has no more than head + tail of them.
QString cutMiddle(const QString& text, int head, int tail);

} // namespace VizText
} // namespace tallymere
