#include "views/shell/preview/PreviewLook.h"

#include "base/Utf8.h"
#include "platform/PathGate.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <sys/stat.h>

namespace tallymere {

namespace {

// When the read stopped inside a longer file, a multi-byte character may be cut at the end; drop
// that incomplete tail so the cut alone does not make the text invalid.
void dropCutCharacter(std::string& bytes) {
    std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        auto byte = static_cast<unsigned char>(bytes[n - back]);
        if ((byte & 0xC0) == 0x80) continue; // continuation byte: keep looking for the lead
        std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) bytes.resize(n - back);
        return;
    }
}

// Whether the bytes begin as a picture format does; a reader needs only the first of them to tell.
bool beginsAsPicture(const std::string& bytes) {
    QByteArray copy = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer device(&copy);
    return device.open(QIODevice::ReadOnly) && QImageReader(&device).canRead();
}

void readStart(const std::string& path, std::int64_t textLimit, PreviewLook& look) {
    // The name may stand for something else by now (a link to a pipe or a device put in its
    // place): the reader opens only what it finds to be a regular file.
    const PathGate::Reader reader(path);
    if (reader.error() == PathGate::notAnswering) {
        look.kind = PreviewLook::Kind::unanswered;
        return;
    }
    if (reader.error()) return;
    look.size = reader.info().st_size;
    PathGate::Text start = reader.read(0, static_cast<std::size_t>(textLimit) + 1);
    if (start.error == PathGate::notAnswering) look.kind = PreviewLook::Kind::unanswered;
    if (start.error) return;
    look.isRead = true;
    look.isPicture = beginsAsPicture(start.text);
    if (static_cast<std::int64_t>(start.text.size()) > textLimit) {
        start.text.resize(static_cast<std::size_t>(textLimit));
        dropCutCharacter(start.text);
    }
    if (start.text.find('\0') == std::string::npos && isValidUtf8(start.text)) look.text = std::move(start.text);
}

} // namespace

PreviewLook lookAt(const std::string& path, std::int64_t textLimit) {
    PreviewLook look;
    const PathGate::Status item = PathGate::stat(path);
    if (item.error == PathGate::notAnswering) {
        look.kind = PreviewLook::Kind::unanswered;
        return look;
    }
    if (item.error) {
        // Gone, or a link leading nowhere: described by what the name itself is.
        const PathGate::Status name = PathGate::lstat(path);
        if (name.error == PathGate::notAnswering) look.kind = PreviewLook::Kind::unanswered;
        else if (name.error == 0) look = {.kind = PreviewLook::Kind::special, .mode = name.info.st_mode};
        return look;
    }
    look.mode = item.info.st_mode;
    look.size = item.info.st_size;
    if (S_ISDIR(item.info.st_mode)) {
        // Its listing, not only its attributes (which the kernel may answer from a cache), shows
        // that the folder's file system answers before it is walked.
        look.kind = PathGate::list(path).error == PathGate::notAnswering ? PreviewLook::Kind::unanswered
                                                                         : PreviewLook::Kind::folder;
        return look;
    }
    if (!S_ISREG(item.info.st_mode)) {
        look.kind = PreviewLook::Kind::special;
        return look;
    }
    look.kind = PreviewLook::Kind::file;
    readStart(path, textLimit, look);
    return look;
}

} // namespace tallymere
