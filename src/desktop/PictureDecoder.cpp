#include "desktop/PictureDecoder.h"
#include "desktop/PictureDecoderSeam.h"

#include "desktop/ScalablePicture.h"
#include "platform/PathGate.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPointer>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

namespace tallymere::PictureDecoder {

namespace {

// What one decoding is the decoding of: the file as it was looked up, and the box.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t changed = 0;
    int boxWidth = 0, boxHeight = 0;
    auto key() const { return std::tie(device, inode, size, changed, boxWidth, boxHeight); }
    bool operator<(const Identity& other) const { return key() < other.key(); }
};

struct Job {
    std::string path;
    qint64 maxBytes = 0;
    QSize box;
    std::atomic<bool> over{false};    // answered (or given up): its result is dropped
    std::atomic<bool> started{false}; // a thread has taken it up
    // Under the queue's lock: the file as its thread found it; none before that.
    std::optional<Identity> identity;
    // GUI thread only.
    QElapsedTimer since;
    std::vector<std::pair<QPointer<QObject>, std::function<void(Picture)>>> waiting;
};

// The threads' queue. Never freed: a thread still decoding when the process ends must find it.
struct Queue {
    std::mutex lock;
    std::condition_variable resumed;
    std::deque<std::shared_ptr<Job>> jobs;
    int threads = 0;
    bool paused = false;
    std::set<Identity> tooSlow; // files whose decoding ran past the limit
};
Queue& queue() {
    static Queue* shared = new Queue;
    return *shared;
}

// GUI thread only: the decodings under way, by path and box, and the limit.
using Asked = std::tuple<std::string, int, int>;
std::map<Asked, std::shared_ptr<Job>>& underWay() {
    static std::map<Asked, std::shared_ptr<Job>> jobs;
    return jobs;
}
std::chrono::milliseconds& limit() {
    static std::chrono::milliseconds current = timeLimit;
    return current;
}

// The file of a job that ran past the limit is not decoded again; one whose thread has not found
// it yet is recorded by that thread when it does.
void markTooSlow(const Job& job) {
    Queue& shared = queue();
    std::lock_guard guard(shared.lock);
    if (job.identity) shared.tooSlow.insert(*job.identity);
}

// The largest picture an icon file's directory can describe.
constexpr int iconSide = 256;

bool isScalable(const QByteArray& format) { return format == "svg" || format == "svgz"; }

// The pictures `reader` holds (read as `format`), upright and fitted to `box`.
Picture decodedBy(QImageReader& reader, const QByteArray& format, QSize box) {
    Picture picture;
    picture.natural = reader.size();
    const bool sizes = format == "ico";
    if (!sizes) {
        QSize fitted = picture.natural.isEmpty() ? box : picture.natural;
        if (isScalable(format) || fitted.width() > box.width() || fitted.height() > box.height())
            fitted = fitted.scaled(box, Qt::KeepAspectRatio);
        if (fitted != picture.natural) reader.setScaledSize(fitted);
    }
    // An icon file's directory gives each picture at most iconSide a side, yet a picture stored in
    // it may be of any size, and each entry may name the same one: each is kept no larger than an icon.
    const QSize iconBox = box.boundedTo(QSize(iconSide, iconSide));
    for (int image = 0; image < 16; ++image) {
        QImage read = reader.read();
        if (sizes && (read.width() > iconBox.width() || read.height() > iconBox.height()))
            read = read.scaled(iconBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!read.isNull()) picture.images.push_back(std::move(read));
        if (!sizes || !reader.jumpToNextImage()) break;
    }
    if (picture.natural.isEmpty() && !picture.isNull()) picture.natural = picture.images.front().size();
    return picture;
}

// The picture held in `held`, read where it lies.
Picture decodedFrom(const std::string& held, QSize box) {
    QByteArray bytes = QByteArray::fromRawData(held.data(), static_cast<qsizetype>(held.size()));
    QBuffer file(&bytes);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    if (!reader.canRead()) return {};
    // Asked once, before anything else: some readers (an icon file's) answer no format once the
    // size has been read.
    const QByteArray format = reader.format();
    if (!isScalable(format)) return decodedBy(reader, format, box);
    std::optional<QByteArray> text = ScalablePicture::selfContained(file);
    if (!text) return {};
    QBuffer buffer(&*text);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader scalable(&buffer, "svg");
    return decodedBy(scalable, "svg", box);
}

// A file on a mount that may stop answering is read in pieces, each one call of the gate within its
// bound (a whole large file in one call could pass it on a slow but answering mount); one on a local
// disk in one read.
constexpr std::size_t readPiece = std::size_t{4} << 20;

// The picture of the regular file at the job's path, looked up and read here on the decoder's
// thread through the gate.
Picture readPath(Job& job) {
    const PathGate::Reader reader(job.path);
    if (reader.error()) return {};
    const struct stat& info = reader.info();
    if (info.st_size > job.maxBytes) return {};
    const Identity identity{info.st_dev,  info.st_ino, info.st_size, std::int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec,
                            job.box.width(), job.box.height()};
    {
        Queue& shared = queue();
        std::lock_guard guard(shared.lock);
        if (shared.tooSlow.contains(identity)) return {.images = {}, .natural = {}, .overdue = true};
        job.identity = identity;
        // Given up while it was looked up: it ran past the limit all the same.
        if (job.over.load()) {
            shared.tooSlow.insert(identity);
            return {};
        }
    }
    // One byte past the size it had tells a file that grew while it was read; it is held to the
    // same limit.
    const auto most = static_cast<std::size_t>(job.maxBytes);
    const std::size_t whole = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1;
    std::string bytes;
    for (std::size_t want = reader.descriptor() >= 0 ? whole : std::min(whole, readPiece);; want = readPiece) {
        PathGate::Text piece = reader.read(bytes.size(), want);
        if (piece.error) return {};
        const bool ended = piece.text.size() < want;
        if (bytes.empty()) bytes = std::move(piece.text);
        else bytes += piece.text;
        if (bytes.size() > most) return {};
        if (ended) break;
    }
    // Given up while it was read: nobody waits for it, and it is marked already.
    if (job.over.load()) return {};
    return decodedFrom(bytes, job.box);
}

void deliver(Job& job, const Picture& picture) {
    for (auto& [receiver, done] : job.waiting)
        if (receiver) done(picture);
    job.waiting.clear();
}

void forget(const Job& job) {
    auto& jobs = underWay();
    const Asked asked{job.path, job.box.width(), job.box.height()};
    if (const auto it = jobs.find(asked); it != jobs.end() && it->second.get() == &job) jobs.erase(it);
}

// GUI thread: the decoding's answer arrived.
void finish(const std::shared_ptr<Job>& job, Picture picture) {
    if (job->over.exchange(true)) return forget(*job); // given up already
    forget(*job);
    if (job->since.elapsed() >= limit().count()) {
        markTooSlow(*job);
        picture = {.images = {}, .natural = {}, .overdue = true};
    }
    deliver(*job, picture);
}

// A job given up before any thread took it leaves the queue.
void withdraw(const std::shared_ptr<Job>& job) {
    Queue& shared = queue();
    std::lock_guard guard(shared.lock);
    const auto waiting = std::find(shared.jobs.begin(), shared.jobs.end(), job);
    if (waiting != shared.jobs.end()) shared.jobs.erase(waiting);
}

// GUI thread: the limit has passed.
void expire(const std::shared_ptr<Job>& job) {
    if (job->over.exchange(true)) return;
    // One still waiting for a thread is not the file's fault: asked again, it is tried again.
    if (!job->started.load()) withdraw(job);
    else markTooSlow(*job);
    forget(*job);
    deliver(*job, {.images = {}, .natural = {}, .overdue = true});
}

void work() {
    Queue& shared = queue();
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock guard(shared.lock);
            shared.resumed.wait(guard, [&] { return !shared.paused; });
            if (shared.jobs.empty()) {
                --shared.threads;
                return;
            }
            job = std::move(shared.jobs.front());
            shared.jobs.pop_front();
        }
        if (job->over.load()) continue; // given up while it waited
        job->started.store(true);
        Picture picture = readPath(*job);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [job, picture = std::move(picture)]() mutable { finish(job, std::move(picture)); },
            Qt::QueuedConnection);
    }
}

void startThreadLocked(Queue& shared) {
    if (shared.threads >= maxThreads) return;
    try {
        std::thread(work).detach();
        ++shared.threads;
    } catch (const std::system_error&) {
        // No thread to spare: the threads running take it, or the limit answers it.
    }
}

void enqueue(std::shared_ptr<Job> job) {
    Queue& shared = queue();
    std::lock_guard guard(shared.lock);
    shared.jobs.push_back(std::move(job));
    startThreadLocked(shared);
}

// An answer without a decoding, from the event loop as every answer comes.
void answerAtOnce(QObject* receiver, std::function<void(Picture)> done, bool overdue = false) {
    QTimer::singleShot(0, receiver, [done = std::move(done), overdue] {
        done({.images = {}, .natural = {}, .overdue = overdue});
    });
}

} // namespace

std::chrono::milliseconds setTimeLimit(std::chrono::milliseconds newLimit) { return std::exchange(limit(), newLimit); }

void pauseThreads(bool paused) {
    Queue& shared = queue();
    {
        std::lock_guard guard(shared.lock);
        shared.paused = paused;
    }
    shared.resumed.notify_all();
}

void decodeFile(const std::string& path, qint64 maxBytes, QSize box, QObject* receiver, std::function<void(Picture)> done) {
    if (path.empty() || box.isEmpty()) return answerAtOnce(receiver, std::move(done));
    auto& jobs = underWay();
    const Asked asked{path, box.width(), box.height()};
    if (const auto it = jobs.find(asked); it != jobs.end() && it->second->maxBytes == maxBytes) {
        it->second->waiting.emplace_back(receiver, std::move(done));
        return;
    }
    auto job = std::make_shared<Job>();
    job->path = path;
    job->maxBytes = maxBytes;
    job->box = box;
    job->since.start();
    job->waiting.emplace_back(receiver, std::move(done));
    jobs.insert_or_assign(asked, job);
    QTimer::singleShot(limit(), QCoreApplication::instance(), [job] { expire(job); });
    enqueue(std::move(job));
}

} // namespace tallymere::PictureDecoder
