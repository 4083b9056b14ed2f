#pragma once
#include <QColor>
#include <QImage>

#include <atomic>
#include <future>
#include <memory>

namespace tallymere {

// A canvas's whole cached picture with a translucent tint laid over it, for a hover mark as large
// as the picture: copying from it costs what copying the picture alone costs, where the picture's
// copy and a blend over it cost twice that.
//
// It is made on a thread of its own as soon as a picture is rendered (prepare()), so that the first
// hover after a new picture does not wait for it either. Until then the thread shares the picture's
// pixels: release() must come before they are drawn again. It is as large as the picture and is
// kept, its pixels reused from picture to picture of one size.
class TintedPicture {
public:
    TintedPicture() = default;
    TintedPicture(const TintedPicture&) = delete;
    TintedPicture& operator=(const TintedPicture&) = delete;
    ~TintedPicture() { release(); }

    // Starts making the tinted copy of `picture` (told apart by `revision`) with `tint`.
    void prepare(const QImage& picture, int revision, const QColor& tint);
    // Stops a copy being made and lets go of the picture.
    void release();
    // The tinted copy of `picture` (at its pixel ratio): waits for the one being made, or makes it
    // here when none was started for this picture and tint.
    const QImage& image(const QImage& picture, int revision, const QColor& tint);

private:
    struct Job {
        std::future<QImage> result;
        std::shared_ptr<std::atomic<bool>> stop;
        int revision = -1;
        QColor tint;
    };
    QImage m_image;
    int m_revision = -1;
    QColor m_tint;
    std::unique_ptr<Job> m_job;
};

} // namespace tallymere
