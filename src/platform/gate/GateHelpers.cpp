#include "platform/gate/GateHelpers.h"

#include "platform/gate/GatePool.h"

#include <poll.h>
#include <sys/stat.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace tallymere::gate {
namespace {

std::atomic<bool> direct{false};

// How often a caller looks again at what it waits for besides its own helpers: a mount another
// call is finding out about, a helper to come free, a cancel.
constexpr auto lookAgain = std::chrono::milliseconds(20);

// An idle helper that has ended since (killed from outside) or says something unasked is no use.
bool isSound(const Helper& helper) {
    pollfd quiet{.fd = helper.channel, .events = POLLIN, .revents = 0};
    return ::poll(&quiet, 1, 0) == 0;
}

enum class Turn { waiting, out, done };

// One call of askHelpers: its requests, and where each stands.
class Asking {
public:
    Asking(const std::vector<Request>& requests, const std::vector<std::string>& keys, std::chrono::milliseconds limit)
        : m_requests(requests), m_keys(keys), m_limit(limit), m_turns(requests.size(), Turn::waiting),
          m_replies(requests.size()), m_deadline(Clock::now() + limit) {}

    std::vector<std::optional<Reply>> run(const std::atomic<bool>* cancel) {
        Pool& shared = pool();
        shared.progress();
        for (;;) {
            handOut(shared);
            const bool waiting = std::find(m_turns.begin(), m_turns.end(), Turn::waiting) != m_turns.end();
            if (m_out.empty() && !waiting) break;
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                abandon(shared, ECANCELED);
                break;
            }
            if (m_out.empty()) {
                std::unique_lock guard(shared.lock);
                shared.changed.wait_until(guard, std::min(m_deadline, Clock::now() + lookAgain));
            } else {
                pollOut(shared, waiting || cancel);
            }
            if (Clock::now() >= m_deadline && m_out.empty()) {
                // Never asked in time (waiting behind another call, or for a helper): not answered,
                // though nothing is learnt of the mount.
                for (std::size_t i = 0; i < m_turns.size(); ++i)
                    if (m_turns[i] == Turn::waiting) finish(i, failure(noAnswer));
            }
        }
        return std::move(m_replies);
    }

private:
    void finish(std::size_t index, std::optional<Reply> reply) {
        m_turns[index] = Turn::done;
        m_replies[index] = std::move(reply);
    }

    // Hands each waiting call to a helper where its mount and the limits allow.
    void handOut(Pool& shared) {
        std::vector<Out> taken;
        std::vector<Helper> stale;
        struct stat space {};
        const std::uint64_t spaceId = ::stat("/proc/self/ns/mnt", &space) == 0 ? space.st_ino : 0;
        {
            std::lock_guard guard(shared.lock);
            stale = shared.enterNamespace(spaceId);
            const auto now = Clock::now();
            for (std::size_t i = 0; i < m_turns.size(); ++i) {
                if (m_turns[i] != Turn::waiting) continue;
                if (m_noHelpers) {
                    finish(i, std::nullopt); // left to the caller
                    continue;
                }
                Mount& mount = shared.mounts[m_keys[i]];
                const Standing standing = shared.standingOf(mount, now);
                if (standing == Standing::silent) {
                    finish(i, failure(noAnswer));
                    continue;
                }
                const bool doubtful = standing == Standing::unknown;
                // One call at a time finds out whether a mount answers.
                if (doubtful && mount.working > 0) continue;
                // Past the limit of helpers left on silent mounts, a mount not heard from is taken
                // for one; near it, a call waits until the calls out on such mounts are told apart.
                if (doubtful && shared.leftOnMounts() >= mostLeft) {
                    finish(i, failure(noAnswer));
                    continue;
                }
                if (doubtful && shared.waitingOnMounts() >= mostLeft) continue;
                if (shared.working >= mostWorking) continue;
                ++mount.working;
                ++shared.working;
                if (doubtful) ++shared.doubtful;
                Out out;
                out.index = i;
                out.doubtful = doubtful;
                out.deadline = m_deadline;
                out.sending = framed(encode(m_requests[i]));
                if (!shared.idle.empty()) {
                    out.helper = shared.idle.back();
                    shared.idle.pop_back();
                }
                m_turns[i] = Turn::out;
                taken.push_back(std::move(out));
            }
        }
        for (const Helper& helper : stale) endHelper(helper);
        for (Out& out : taken) {
            if (out.helper.pid > 0 && !isSound(out.helper)) {
                endHelper(out.helper);
                out.helper = {};
            }
            if (out.helper.pid <= 0) {
                std::string why;
                if (std::optional<Helper> helper = startHelper(why)) {
                    out.helper = *helper;
                } else {
                    noteUnbounded(why);
                    m_noHelpers = true;
                    release(shared, out, false, std::nullopt);
                    continue;
                }
            }
            m_out.push_back(std::move(out));
        }
    }

    // A call's helper is done with it: kept for the next call, or ended.
    void release(Pool& shared, Out& out, bool answered, std::optional<Reply> reply) {
        bool keep = false;
        {
            std::lock_guard guard(shared.lock);
            Mount& mount = shared.mounts[m_keys[out.index]];
            --mount.working;
            --shared.working;
            if (out.doubtful) --shared.doubtful;
            if (answered) {
                mount.standing = Standing::answering;
                mount.answered = Clock::now();
                keep = out.helper.pid > 0 && shared.idle.size() < shared.idleLimit();
                if (keep) shared.idle.push_back(out.helper);
            }
            shared.changed.notify_all();
        }
        if (!keep && out.helper.pid > 0) endHelper(out.helper);
        finish(out.index, std::move(reply));
    }

    // Gives up on the calls out: their helpers are left, and their mounts learn nothing.
    void abandon(Pool& shared, int error) {
        {
            std::lock_guard guard(shared.lock);
            const auto now = Clock::now();
            for (Out& out : m_out) {
                ::kill(out.helper.pid, SIGKILL);
                shared.left.push_back(Left{.helper = out.helper, .key = m_keys[out.index], .killed = now});
                Mount& mount = shared.mounts[m_keys[out.index]];
                ++mount.left;
                --mount.working;
                --shared.working;
                if (out.doubtful) --shared.doubtful;
            }
            shared.changed.notify_all();
        }
        for (const Out& out : m_out) finish(out.index, failure(error));
        m_out.clear();
        for (std::size_t i = 0; i < m_turns.size(); ++i)
            if (m_turns[i] == Turn::waiting) finish(i, failure(error));
    }

    // Waits for the first helper to move, the nearest bound, or (while other calls wait on what
    // this one cannot see) a short while.
    void pollOut(Pool& shared, bool looksAgain) {
        std::vector<pollfd> watched;
        auto nearest = m_out.front().deadline;
        for (const Out& out : m_out) {
            const short events = static_cast<short>(POLLIN | (out.sent < out.sending.size() ? POLLOUT : 0));
            watched.push_back(pollfd{.fd = out.helper.channel, .events = events, .revents = 0});
            nearest = std::min(nearest, out.deadline);
        }
        if (looksAgain) nearest = std::min(nearest, Clock::now() + lookAgain);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nearest - Clock::now());
        if (::poll(watched.data(), watched.size(), static_cast<int>(std::max<std::int64_t>(0, wait.count()))) < 0 &&
            errno != EINTR)
            return;
        const auto now = Clock::now();
        std::vector<Out> still;
        for (std::size_t i = 0; i < m_out.size(); ++i) {
            Out& out = m_out[i];
            const bool alive = exchange(out, watched[i].revents);
            bool broken = false, progressed = false;
            const bool answered = takeFrames(out, broken, progressed);
            // A reply sent in parts has the whole bound again from each part.
            if (progressed && !answered) out.deadline = std::max(out.deadline, now + m_limit);
            if (answered) {
                release(shared, out, true, std::move(out.reply));
            } else if (broken) {
                release(shared, out, false, failure(EIO));
            } else if (!alive) {
                lost(shared, out, still);
            } else if (now >= out.deadline) {
                {
                    std::lock_guard guard(shared.lock);
                    Mount& mount = shared.mounts[m_keys[out.index]];
                    --mount.working;
                    --shared.working;
                    if (out.doubtful) --shared.doubtful;
                    shared.leaveBlocked(out.helper, m_keys[out.index], now);
                    shared.changed.notify_all();
                }
                finish(out.index, failure(noAnswer));
            } else {
                still.push_back(std::move(out));
            }
        }
        m_out = std::move(still);
    }

    // A helper gone without its answer (killed from outside, or it broke). A call it cannot have
    // taken whole, or one that changes nothing, goes to a new helper once; one that changes
    // something and was sent whole may have happened, and is never sent again.
    void lost(Pool& shared, Out& out, std::vector<Out>& still) {
        endHelper(out.helper);
        out.helper = {};
        const bool sentWhole = out.sent == out.sending.size();
        if (sentWhole && changes(m_requests[out.index].op)) {
            release(shared, out, false, failure(noOutcome));
            return;
        }
        std::string why;
        std::optional<Helper> fresh = out.retried ? std::nullopt : startHelper(why);
        if (!fresh) {
            release(shared, out, false, failure(EIO));
            return;
        }
        out.helper = *fresh;
        out.retried = true;
        out.sent = 0;
        out.received.clear();
        out.reply = {};
        still.push_back(std::move(out));
    }

    const std::vector<Request>& m_requests;
    const std::vector<std::string>& m_keys;
    const std::chrono::milliseconds m_limit;
    std::vector<Turn> m_turns;
    std::vector<std::optional<Reply>> m_replies;
    std::vector<Out> m_out;
    const Clock::time_point m_deadline;
    bool m_noHelpers = false;
};

} // namespace

void makeCallsDirectly() { direct = true; }
bool makesCallsDirectly() { return direct; }

bool changes(Op op) {
    switch (op) {
    case Op::writeFile:
    case Op::rename:
    case Op::removeFile:
    case Op::makeFolder:
    case Op::moveToTrash:
    case Op::beginWrite:
    case Op::writeAt:
    case Op::finishWrite: return true;
    default: return false;
    }
}

std::vector<std::optional<Reply>> askHelpers(const std::vector<Request>& requests, const std::vector<std::string>& keys,
                                             std::chrono::milliseconds limit, const std::atomic<bool>* cancel) {
    return Asking(requests, keys, limit).run(cancel);
}

} // namespace tallymere::gate
