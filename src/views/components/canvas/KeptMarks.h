#pragma once
#include <QImage>
#include <QRect>
#include <QRunnable>

#include <functional>
#include <future>
#include <memory>

class QPainter;

namespace tallymere {

// The marks a canvas paints over one area of its picture (a hovered shape's tint and outline, and
// any other mark that reaches into that area), drawn once onto a copy of the picture's pixels there
// and copied from then on. A translucent fill over a large shape costs the window's thread a blend
// of every pixel, handed to the thread pool in small pieces and waited for, on every repaint; the
// copy costs a copy. The marks of the likeliest hover can be made on the thread pool as soon as a
// picture is rendered, so that the first hover of them does not wait either.
//
// Only at a whole pixel ratio, where whole points are whole pixels and marks drawn on the copy land
// on the same pixels as marks drawn on the window.
class KeptMarks {
public:
    // Paints the marks on a painter whose origin is the picture's. It may run on another thread: it
    // holds copies of everything it draws from.
    using Draw = std::function<void(QPainter&)>;
    // Tells marks apart: the picture they lie on, where, and the items they mark.
    struct Key {
        int pictureRevision = -1;
        QRect area; // whole logical points of the picture, within it
        const void* first = nullptr;
        const void* second = nullptr;
        bool operator==(const Key&) const = default;
    };

    KeptMarks() = default;
    KeptMarks(const KeptMarks&) = delete;
    KeptMarks& operator=(const KeptMarks&) = delete;
    ~KeptMarks() { settle(); }

    // Whether marks over `picture` can be kept at all: an opaque picture at a whole pixel ratio.
    static bool canKeep(const QImage& picture);
    // Starts making the marks of `key` over `picture` on the thread pool, unless they are kept.
    void prepare(const QImage& picture, const Key& key, Draw draw);
    // The marks of `key` over the picture's pixels in key.area, at its pixel ratio and opaque:
    // those being made (waited for), else those kept, else made now.
    const QImage& image(const QImage& picture, const Key& key, const Draw& draw);
    // How many times marks were made when asked for because none were ready, for tests.
    int madeOnDemand() const { return m_onDemand; }

private:
    // Collects the marks being made, if any.
    void settle();

    // Marks being made on the thread pool; the pool does not own the runnable, which may be taken
    // back before it starts.
    struct Job {
        Key key;
        std::promise<QImage> promise;
        std::future<QImage> made;
        std::unique_ptr<QRunnable> runnable;
    };

    Key m_key;
    QImage m_image;
    std::unique_ptr<Job> m_job;
    int m_onDemand = 0;
};

} // namespace tallymere
