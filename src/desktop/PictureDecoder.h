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

// Decodes the picture in the open regular file `fd` (the caller keeps it: a duplicate is read) on
// a thread of the decoder's own, never the window's, upright as its orientation says and within
// `box` device pixels: a larger picture is shrunk to fit, a scalable one (SVG) is drawn to fit it
// exactly. `done` gets the picture on the GUI thread while `receiver` exists, never before decode()
// returns: an empty one when the file holds no picture or cannot be decoded, and an empty overdue
// one when it took longer than the time limit, counted from this call.
//
// A file (device, inode, size and change time, with the box) is decoded by one thread at a time:
// asked for again meanwhile, it waits for the same. One that ran past the limit is never decoded
// again in this process (its thread runs on to its end unseen): it is an overdue picture at once.
// GUI thread.
void decode(int fd, QSize box, QObject* receiver, std::function<void(Picture)> done);

// The same for the regular file at `path`, which is looked up and opened on the decoder's thread
// too: the window's thread never touches it, and a file on a mount that never answers holds only
// that thread, answering overdue once the limit has passed. A thread held past the limit by a path
// is replaced, and the path is not looked up again until that look returns: asked meanwhile, it is
// overdue at once. Anything but a regular file of at most `maxBytes` bytes gives an empty picture.
// GUI thread.
void decodeFile(const std::string& path, qint64 maxBytes, QSize box, QObject* receiver, std::function<void(Picture)> done);

} // namespace tallymere::PictureDecoder
