#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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
// again until it returns, so a stuck mount holds one thread however often it is asked.
// Copies share one state; ask() may be called from any thread.
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
            // Still stuck from an earlier call, or asked twice now: left out until it answers.
            if (!m_state->outstanding.insert(keys[i]).second) continue;
            try {
                std::thread([state = m_state, batch, i, key = keys[i]] {
                    Answer answer = state->call(key);
                    std::lock_guard guard(state->lock);
                    batch->answers[i] = std::move(answer);
                    --batch->waiting;
                    state->outstanding.erase(key);
                    state->answered.notify_all();
                }).detach();
                ++batch->waiting;
            } catch (const std::system_error&) {
                m_state->outstanding.erase(keys[i]); // no thread to spare: not asked this time
            }
        }
        m_state->answered.wait_until(lock, deadline, [&] { return batch->waiting == 0; });
        // Answers that arrive later land in the shared batch and go with it.
        return batch->answers;
    }

private:
    struct State {
        std::chrono::milliseconds limit{};
        Call call;
        std::mutex lock;
        std::condition_variable answered;
        std::set<std::string> outstanding;
    };
    struct Batch {
        std::vector<std::optional<Answer>> answers;
        std::size_t waiting = 0;
    };
    std::shared_ptr<State> m_state;
};

} // namespace tallymere
