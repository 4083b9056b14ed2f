#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace tallymere {

// How long anything waits for a mount to answer (a look at its mount point, its capacity) before
// counting it as one that does not.
constexpr std::chrono::milliseconds mountAnswerLimit{2000};

// Calls that may never return, bounded in how long anyone waits for them: a stat of a path on a
// stuck FUSE or network mount blocks in the kernel, where no thread can be interrupted. Each call
// runs on a thread of its own and ask() waits for all of its calls together at most `limit`; a key
// that has not answered by then gets none. A key whose call is still outstanding is not called
// again until it returns, so a stuck mount holds one thread however often it is asked: asked again
// within `limit` of that call's start (two lists read at once), it waits for that call's answer;
// asked later, it is taken as stuck and gets none at once. Copies share one state; ask() may be
// called from any thread.
template <class Answer>
class BoundedCalls {
public:
    using Call = std::function<Answer(const std::string& key)>;

    BoundedCalls(std::chrono::milliseconds limit, Call call) : m_state(std::make_shared<State>()) {
        m_state->limit = limit;
        m_state->call = std::move(call);
    }

    // The answers in the order of the keys; none for a key that did not answer in time.
    std::vector<std::optional<Answer>> ask(const std::vector<std::string>& keys) const {
        const auto deadline = std::chrono::steady_clock::now() + m_state->limit;
        auto batch = std::make_shared<Batch>();
        batch->answers.resize(keys.size());

        std::unique_lock lock(m_state->lock);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const auto [pending, isNew] = m_state->outstanding.try_emplace(keys[i]);
            if (!isNew) {
                // A call begun within the limit may still answer: its answer is this one's too. One
                // older is stuck (or asked twice now): left out until it answers.
                if (pending->second.started + m_state->limit > std::chrono::steady_clock::now()) {
                    pending->second.joined.emplace_back(batch, i);
                    ++batch->waiting;
                }
                continue;
            }
            pending->second.started = std::chrono::steady_clock::now();
            pending->second.joined.emplace_back(batch, i);
            try {
                std::thread([state = m_state, key = keys[i]] {
                    Answer answer = state->call(key);
                    std::lock_guard guard(state->lock);
                    const auto done = state->outstanding.find(key);
                    for (auto& [waiting, index] : done->second.joined) {
                        waiting->answers[index] = answer;
                        --waiting->waiting;
                    }
                    state->outstanding.erase(done);
                    state->answered.notify_all();
                }).detach();
                ++batch->waiting;
            } catch (const std::system_error&) {
                m_state->outstanding.erase(pending); // no thread to spare: not asked this time
            }
        }
        m_state->answered.wait_until(lock, deadline, [&] { return batch->waiting == 0; });
        // Answers that arrive later land in the shared batch and go with it.
        return batch->answers;
    }

    // Whether a call of a key that `matches` has gone past the limit unanswered: whoever would make
    // the same call (or any that waits on the same mount) would wait as long.
    template <class Match>
    bool isOutstanding(Match matches) const {
        std::lock_guard lock(m_state->lock);
        const auto now = std::chrono::steady_clock::now();
        return std::any_of(m_state->outstanding.begin(), m_state->outstanding.end(), [&](const auto& call) {
            return call.second.started + m_state->limit <= now && matches(call.first);
        });
    }

private:
    struct Batch {
        std::vector<std::optional<Answer>> answers;
        std::size_t waiting = 0;
    };
    // A call under way, and the batches its answer goes to (at their index).
    struct Pending {
        std::chrono::steady_clock::time_point started;
        std::vector<std::pair<std::shared_ptr<Batch>, std::size_t>> joined;
    };
    struct State {
        std::chrono::milliseconds limit{};
        Call call;
        std::mutex lock;
        std::condition_variable answered;
        std::map<std::string, Pending> outstanding;
    };
    std::shared_ptr<State> m_state;
};

} // namespace tallymere
