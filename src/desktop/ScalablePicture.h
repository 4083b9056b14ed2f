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

// The picture's whole text from the start of `file`, inflated when it is compressed: none when it
// holds more than maxBytes, is not well-formed XML, or names a file to read (an <image> of anything
// but data written into it, a stylesheet instruction).
std::optional<QByteArray> selfContained(QIODevice& file);

} // namespace tallymere::ScalablePicture
