#pragma once
#include <QByteArray>

#include <optional>

class QIODevice;

// The toolkit's reader of scalable pictures (SVG) follows a picture out of its file: it opens and
// reads whole whatever file an <image> or a stylesheet instruction names, so a picture naming a
// pipe holds its reader for ever and one naming /dev/zero fills the memory, and it inflates a
// compressed picture up to 2 GB. A picture is handed to it only as text read here, bounded, that
// names nothing outside itself.
namespace tallymere::ScalablePicture {

// The most text a scalable picture may hold, compressed or not: far past any icon or drawing a
// preview could draw in time.
constexpr qint64 maxBytes = qint64{32} << 20;

// The most pixels the pictures written into a scalable picture as data may hold together: the
// toolkit's reader decodes each whole and keeps it with the picture, so a few hundred kilobytes of
// each, written in over and over, would otherwise take gigabytes.
constexpr qint64 maxWrittenPixels = qint64{32} << 20;

// The picture's whole text from the start of `file`, inflated when it is compressed: none when it
// holds more than maxBytes, is not well-formed XML, names a file to read (an <image> of anything
// but data written into it, a stylesheet instruction), or the pictures written into it as data
// hold more than maxWrittenPixels together or cannot tell their size before they are decoded. A
// scalable picture written into it is held to the same rules, its pixels counted with the others.
std::optional<QByteArray> selfContained(QIODevice& file);

} // namespace tallymere::ScalablePicture
