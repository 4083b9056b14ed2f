#include "desktop/ScalablePicture.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>

namespace tallymere::ScalablePicture {

namespace {

bool isScalable(const QByteArray& format) { return format == "svg" || format == "svgz"; }

bool isCompressed(const QByteArray& bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f && static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// The gzip stream inflated; none when it is broken or would pass maxBytes.
std::optional<QByteArray> inflated(const QByteArray& packed) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    QByteArray text;
    int status = Z_OK;
    while (status == Z_OK && text.size() <= maxBytes) {
        const qsizetype had = text.size();
        // One byte past the limit is room enough to tell a text that passes it.
        const qsizetype room = std::min<qsizetype>(qsizetype{1} << 20, maxBytes + 1 - had);
        text.resize(had + room);
        stream.next_out = reinterpret_cast<Bytef*>(text.data() + had);
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        text.resize(text.size() - static_cast<qsizetype>(stream.avail_out));
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || text.size() > maxBytes) return std::nullopt;
    return text;
}

// The part of a qualified name after its prefix, as the reader matches names whatever the prefix.
QStringView localPart(QStringView name) { return name.mid(name.lastIndexOf(u':') + 1); }

// A reference the picture resolves within itself: a fragment of its own, or data written inline.
bool staysInside(QStringView reference) {
    const QStringView trimmed = reference.trimmed();
    return trimmed.startsWith(u'#') || trimmed.startsWith(u"data:", Qt::CaseInsensitive);
}

bool namesNothingOutside(const QByteArray& text, qint64& pixelsLeft);

// The picture written into a reference as the toolkit's reader takes it: the data after its last
// "base64,". None when there is no such data.
std::optional<QByteArray> writtenInto(QStringView reference) {
    const qsizetype start = reference.lastIndexOf(u"base64,");
    if (start < 0) return std::nullopt;
    return QByteArray::fromBase64(reference.mid(start + 7).trimmed().toLatin1());
}

// Whether a picture written into the picture stays inside itself too, and fits in the pixels left
// for such pictures, which it then takes. One that is a scalable picture in turn is read by the
// same reader, which follows its references out of it alike. Each is decoded whole, at the size
// its reader gives; an icon file's reader gives the size its directory names, which need not be
// its pictures', so it has no size to count.
bool staysInsideItself(const QByteArray& bytes, qint64& pixelsLeft) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) return false;
    QImageReader reader(&buffer);
    // Asked before the size, which leaves some readers without a format.
    const QByteArray format = reader.format();
    if (format.isEmpty()) return true; // nothing the reader decodes
    if (isScalable(format)) {
        const std::optional<QByteArray> text = isCompressed(data) ? inflated(data) : std::optional<QByteArray>(data);
        if (!text || !namesNothingOutside(*text, pixelsLeft)) return false;
    }
    const QSize size = reader.size();
    if (format == "ico" || format == "cur" || !size.isValid()) return false;
    const qint64 pixels = qint64{size.width()} * size.height();
    if (pixels > pixelsLeft) return false;
    pixelsLeft -= pixels;
    return true;
}

// Read by the same reader the toolkit parses the picture with, so both meet the same elements,
// entities expanded alike. The pictures written into it take their pixels from `pixelsLeft`.
bool namesNothingOutside(const QByteArray& text, qint64& pixelsLeft) {
    QXmlStreamReader xml(text);
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::ProcessingInstruction:
            if (xml.processingInstructionTarget().compare(u"xml-stylesheet", Qt::CaseInsensitive) == 0) return false;
            break;
        case QXmlStreamReader::StartElement: {
            const QStringView element = localPart(xml.name());
            if (element.compare(u"image", Qt::CaseInsensitive) != 0 && element.compare(u"feImage", Qt::CaseInsensitive) != 0)
                break;
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (localPart(attribute.qualifiedName()).compare(u"href", Qt::CaseInsensitive) != 0) continue;
                if (!staysInside(attribute.value())) return false;
                if (const std::optional<QByteArray> written = writtenInto(attribute.value());
                    written && !staysInsideItself(*written, pixelsLeft))
                    return false;
            }
            break;
        }
        default: break;
        }
    }
    return !xml.hasError();
}

} // namespace

std::optional<QByteArray> selfContained(QIODevice& file) {
    if (!file.seek(0)) return std::nullopt;
    QByteArray text = file.read(maxBytes + 1);
    if (text.size() > maxBytes) return std::nullopt;
    if (isCompressed(text)) {
        std::optional<QByteArray> inflatedText = inflated(text);
        if (!inflatedText) return std::nullopt;
        text = std::move(*inflatedText);
    }
    qint64 pixelsLeft = maxWrittenPixels;
    if (!namesNothingOutside(text, pixelsLeft)) return std::nullopt;
    return text;
}

} // namespace tallymere::ScalablePicture
