#include "desktop/ScalablePicture.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>

namespace tallymere::ScalablePicture {

namespace {

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

bool namesNothingOutside(const QByteArray& text);

// The picture written into a reference as the toolkit's reader takes it: the data after its last
// "base64,". None when there is no such data.
std::optional<QByteArray> writtenInto(QStringView reference) {
    const qsizetype start = reference.lastIndexOf(u"base64,");
    if (start < 0) return std::nullopt;
    return QByteArray::fromBase64(reference.mid(start + 7).trimmed().toLatin1());
}

// Whether a picture written into the picture stays inside itself too: one that is a scalable
// picture in turn is read by the same reader, which follows its references out of it alike.
bool staysInsideItself(const QByteArray& bytes) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) return false;
    const QByteArray format = QImageReader(&buffer).format();
    if (format != "svg" && format != "svgz") return true;
    if (!isCompressed(data)) return namesNothingOutside(data);
    const std::optional<QByteArray> text = inflated(data);
    return text && namesNothingOutside(*text);
}

// Read by the same reader the toolkit parses the picture with, so both meet the same elements,
// entities expanded alike.
bool namesNothingOutside(const QByteArray& text) {
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
                    written && !staysInsideItself(*written))
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
    if (!namesNothingOutside(text)) return std::nullopt;
    return text;
}

} // namespace tallymere::ScalablePicture
