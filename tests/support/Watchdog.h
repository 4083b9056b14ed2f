#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tallymere::test {

// Runs `body` on this thread. When it has not returned after `seconds`, another thread calls
// `rescue` (takes a stuck mount down, so that the call waiting on it fails and the test ends
// instead of hanging). True when `body` returned without the rescue.
inline bool returnsWithin(int seconds, const std::function<void()>& body, const std::function<void()>& rescue) {
    std::mutex lock;
    std::condition_variable finished;
    bool returned = false, rescued = false;
    std::thread watch([&] {
        std::unique_lock guard(lock);
        if (finished.wait_for(guard, std::chrono::seconds(seconds), [&] { return returned; })) return;
        rescued = true;
        guard.unlock();
        rescue();
    });
    body();
    {
        std::lock_guard guard(lock);
        returned = true;
    }
    finished.notify_one();
    watch.join();
    return !rescued;
}

} // namespace tallymere::test
