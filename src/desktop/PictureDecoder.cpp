#include "desktop/PictureDecoder.h"
#include "desktop/PictureDecoderSeam.h"

#include "desktop/ScalablePicture.h"
#include "platform/RegularFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QPointer>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// What one decoding is the decoding of: the file as it is now, and the box.
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
    Identity identity;
    int fd = -1; // the duplicate the decoding reads; closed when it has been read or dropped
    std::string path; // for a file looked up by the thread (decodeFile), instead of `fd`
    qint64 maxBytes = 0;
    QSize box;
    std::atomic<bool> over{false};    // answered (or given up): its result is dropped
    std::atomic<bool> started{false}; // a thread has taken it up
    // Under the queue's lock: its thread is done with it; its thread was replaced while it held it.
    bool finished = false;
    bool abandoned = false;
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
    std::set<std::string> heldPaths; // paths whose look ran past the limit and has not returned
};
Queue& queue() {
    static Queue* shared = new Queue;
    return *shared;
}

// GUI thread only: the decodings under way, the files that ran past the limit, and the limit.
std::map<Identity, std::shared_ptr<Job>>& underWay() {
    static std::map<Identity, std::shared_ptr<Job>> jobs;
    return jobs;
}
std::set<Identity>& tooSlow() {
    static std::set<Identity> files;
    return files;
}
std::chrono::milliseconds& limit() {
    static std::chrono::milliseconds current = timeLimit;
    return current;
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

Picture read(int fd, QSize box) {
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
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

// The picture of the regular file at the job's path, looked up here on the decoder's thread.
Picture readPath(const Job& job) {
    const int fd = RegularFile::openForReading(job.path);
    if (fd < 0) return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size > job.maxBytes) {
        ::close(fd);
        return {};
    }
    return read(fd, job.box);
}

void deliver(Job& job, const Picture& picture) {
    for (auto& [receiver, done] : job.waiting)
        if (receiver) done(picture);
    job.waiting.clear();
}

void forget(const Job& job) {
    auto& jobs = underWay();
    if (const auto it = jobs.find(job.identity); it != jobs.end() && it->second.get() == &job) jobs.erase(it);
}

// GUI thread: the decoding's answer arrived.
void finish(const std::shared_ptr<Job>& job, Picture picture) {
    if (job->over.exchange(true)) return forget(*job); // given up already
    forget(*job);
    if (job->since.elapsed() >= limit().count()) {
        if (job->path.empty()) tooSlow().insert(job->identity);
        picture = {.images = {}, .natural = {}, .overdue = true};
    }
    deliver(*job, picture);
}

// A job given up before any thread took it leaves the queue with its duplicate now: while every
// thread is busy for minutes, pictures asked for meanwhile would each hold a descriptor until then.
// One a thread took meanwhile is the thread's to close.
void withdraw(const std::shared_ptr<Job>& job) {
    Queue& shared = queue();
    std::lock_guard guard(shared.lock);
    const auto waiting = std::find(shared.jobs.begin(), shared.jobs.end(), job);
    if (waiting == shared.jobs.end()) return;
    if (job->fd >= 0) ::close(job->fd);
    shared.jobs.erase(waiting);
}

void startThreadLocked(Queue& shared);

// A path's look that ran past the limit may never return (a mount that does not answer): its
// thread is counted out and another takes the queue, and the path waits for that look's return.
void abandon(const std::shared_ptr<Job>& job) {
    Queue& shared = queue();
    std::lock_guard guard(shared.lock);
    if (job->finished) return;
    job->abandoned = true;
    shared.heldPaths.insert(job->path);
    --shared.threads;
    if (!shared.jobs.empty()) startThreadLocked(shared);
}

// GUI thread: the limit has passed.
void expire(const std::shared_ptr<Job>& job) {
    if (job->over.exchange(true)) return;
    // One still waiting for a thread is not the file's fault: asked again, it is tried again.
    if (!job->started.load()) withdraw(job);
    else if (job->path.empty()) tooSlow().insert(job->identity);
    else abandon(job);
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
        if (job->over.load()) { // given up while it waited
            if (job->fd >= 0) ::close(job->fd);
            continue;
        }
        job->started.store(true);
        Picture picture = job->path.empty() ? read(job->fd, job->box) : readPath(*job);
        {
            std::lock_guard guard(shared.lock);
            job->finished = true;
            if (job->abandoned) {
                shared.heldPaths.erase(job->path);
                return; // another thread took this one's place
            }
        }
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

void decode(int fd, QSize box, QObject* receiver, std::function<void(Picture)> done) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || box.isEmpty()) return answerAtOnce(receiver, std::move(done));
    const Identity identity{info.st_dev,  info.st_ino, info.st_size, std::int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec,
                            box.width(), box.height()};
    if (tooSlow().contains(identity)) return answerAtOnce(receiver, std::move(done), true);
    auto& jobs = underWay();
    if (const auto it = jobs.find(identity); it != jobs.end()) {
        it->second->waiting.emplace_back(receiver, std::move(done));
        return;
    }
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return answerAtOnce(receiver, std::move(done));
    auto job = std::make_shared<Job>();
    job->identity = identity;
    job->fd = copy;
    job->box = box;
    job->since.start();
    job->waiting.emplace_back(receiver, std::move(done));
    jobs.emplace(identity, job);
    QTimer::singleShot(limit(), QCoreApplication::instance(), [job] { expire(job); });
    enqueue(std::move(job));
}

void decodeFile(const std::string& path, qint64 maxBytes, QSize box, QObject* receiver, std::function<void(Picture)> done) {
    if (path.empty() || box.isEmpty()) return answerAtOnce(receiver, std::move(done));
    {
        Queue& shared = queue();
        std::lock_guard guard(shared.lock);
        if (shared.heldPaths.contains(path)) return answerAtOnce(receiver, std::move(done), true);
    }
    auto job = std::make_shared<Job>();
    job->path = path;
    job->maxBytes = maxBytes;
    job->box = box;
    job->since.start();
    job->waiting.emplace_back(receiver, std::move(done));
    QTimer::singleShot(limit(), QCoreApplication::instance(), [job] { expire(job); });
    enqueue(std::move(job));
}

} // namespace tallymere::PictureDecoder
