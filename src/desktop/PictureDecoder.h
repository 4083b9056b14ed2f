#pragma once
#include <QImage>
#include <QObject>
#include <QSize>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tallymere::PictureDecoder {

// How long a picture may take to decode before it counts as none. Some take minutes (a scalable
// picture of one path of half a million segments), and no decoder can be interrupted.
constexpr std::chrono::milliseconds timeLimit{2000};
// Decoding threads at most at once; pictures asked for beyond them wait their turn.
constexpr int maxThreads = 4;

// A decoded picture: its images (one; every size of an icon file, up to 16) and the size the file
// gives it, which the images are smaller than when it is larger than asked.
struct Picture {
    std::vector<QImage> images;
    QSize natural;
    // Empty because it took longer than the limit, not because the file holds no picture.
    bool overdue = false;
    bool isNull() const { return images.empty(); }
};

// Decodes the picture in the regular file at `path` (links followed) on a thread of the decoder's
// own, never the window's: its bytes, at most `maxBytes` of them, are read through the path gate
// and decoded from memory, upright as its orientation says and within `box` device pixels: a larger
// picture is shrunk to fit, a scalable one (SVG) is drawn to fit it exactly. So a file on a mount
// that stops answering costs its thread the gate's bound and nothing more. `done` gets the picture
// on the GUI thread while `receiver` exists, never before decodeFile() returns: an empty one when
// the file is no regular file, holds more than `maxBytes`, cannot be read or holds no picture, and
// an empty overdue one when no answer came within the time limit, counted from this call.
//
// At most maxThreads pictures are read and decoded at once, whoever asked for them; the rest wait
// their turn. The same path and box asked for again meanwhile waits for the same decoding. A file
// (device, inode, size and change time, with the box) whose decoding ran past the limit is never
// decoded again in this process (its thread runs on to its end unseen): it is overdue at once.
// GUI thread.
void decodeFile(const std::string& path, qint64 maxBytes, QSize box, QObject* receiver, std::function<void(Picture)> done);

} // namespace tallymere::PictureDecoder
