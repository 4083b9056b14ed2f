#include "platform/gate/GatePool.h"

#include "platform/PathGate.h"
#include "platform/gate/GateOps.h"
#include "platform/gate/GatePoolSeam.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace tallymere::gate {

namespace {

std::atomic<bool> forked{false};

// The helper program: beside this program's own file.
const std::string& helperProgram() {
    static const std::string program = [] {
        char self[PATH_MAX];
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (length <= 0) return std::string();
        std::string path(self, static_cast<std::size_t>(length));
        return path.substr(0, path.rfind('/') + 1) + "tallymere-gate";
    }();
    return program;
}

Request checkOf(const std::string& key) {
    Request request;
    request.op = Op::statVfs; // always asks the server: no cache answers for it
    request.texts.push_back(key);
    return request;
}

// A helper left that ends within this of its kill was freed by the kill, not by its mount.
constexpr auto freedByKill = std::chrono::milliseconds(250);

void reap(const Helper& helper) {
    ::close(helper.channel);
    ::waitpid(helper.pid, nullptr, 0);
}

// A silent mount's next check comes later each time it stays silent.
void checkLater(Mount& mount, Clock::time_point now) {
    mount.checking = false;
    mount.pause = std::min<std::chrono::milliseconds>(longestPause, mount.pause.count() ? mount.pause * 2 : firstPause);
    mount.nextCheck = now + mount.pause;
}

// Removes what failed writes left on a mount that answers again, off the watcher's thread.
void removePartFiles(std::vector<std::string> paths) {
    if (paths.empty()) return;
    std::thread([paths = std::move(paths)] {
        for (const std::string& path : paths) {
            Request request;
            request.op = Op::removeFile;
            request.texts.push_back(path);
            call(std::move(request));
        }
    }).detach();
}

} // namespace

Pool& pool() {
    // Never destroyed: helpers may still be asked while the program ends.
    static Pool* shared = new Pool;
    static const bool watchesForks = ::pthread_atfork(nullptr, nullptr, [] { forked = true; }) == 0;
    // A child forked from this process (a test's) shares its helpers' channels with it: it starts
    // helpers of its own, and leaves those of the process it came from alone.
    if (forked.exchange(false) || !watchesForks) {
        for (const Helper& helper : shared->idle) ::close(helper.channel);
        for (const Left& left : shared->left) ::close(left.helper.channel);
        for (const Out& check : shared->checks) ::close(check.helper.channel);
        shared = new Pool;
    }
    return *shared;
}

void noteUnbounded(const std::string& why) {
    std::call_once(pool().noted, [&] {
        const std::string text = "tallymere: cannot bound looks at network and FUSE mounts here (" + why +
                                 "); a mount that stops answering may hold the program\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    });
}

std::optional<Helper> startHelper(std::string& why) {
    const std::string& program = helperProgram();
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        why = "no helper program " + (program.empty() ? std::string("beside this program") : program);
        return std::nullopt;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        why = std::generic_category().message(errno);
        return std::nullopt;
    }
    // Kept off descriptor 3 itself, where handing it on could leave it marked close-on-exec.
    if (ends[1] <= 3) {
        const int moved = ::fcntl(ends[1], F_DUPFD_CLOEXEC, 10);
        ::close(ends[1]);
        ends[1] = moved;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    // Not even the program's standard streams: a helper left blocked would keep a pipe the program
    // writes to open, and whoever reads it would wait for its end as long.
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    ::posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* const arguments[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    const int error = ends[1] < 0 ? errno
                                  : ::posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (ends[1] >= 0) ::close(ends[1]);
    if (error != 0) {
        ::close(ends[0]);
        why = std::generic_category().message(error);
        return std::nullopt;
    }
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    return Helper{.pid = pid, .channel = ends[0]};
}

void endHelper(const Helper& helper) {
    ::kill(helper.pid, SIGKILL);
    reap(helper);
}

bool exchange(Out& out, short events) {
    if (events & POLLOUT) {
        while (out.sent < out.sending.size()) {
            const ssize_t n = ::send(out.helper.channel, out.sending.data() + out.sent, out.sending.size() - out.sent,
                                     MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            if (n < 0) return false;
            out.sent += static_cast<std::size_t>(n);
        }
    }
    if (events & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(out.helper.channel, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            if (n <= 0) return false;
            out.received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return true;
}

bool takeFrames(Out& out, bool& broken, bool& progressed) {
    broken = false;
    std::size_t used = 0;
    bool last = false;
    while (!last && out.received.size() - used >= 8) {
        const std::string_view rest = std::string_view(out.received).substr(used);
        const std::uint64_t length = frameLength(rest);
        if (length > largestFrame) {
            broken = true;
            return false;
        }
        if (rest.size() - 8 < length) break;
        Reply part;
        if (!decode(rest.substr(8, length), part)) {
            broken = true;
            return false;
        }
        used += 8 + length;
        progressed = true;
        out.reply.error = part.error;
        for (std::string& text : part.texts) out.reply.texts.push_back(std::move(text));
        out.reply.data += part.data;
        last = !part.partial;
    }
    out.received.erase(0, used);
    // A helper sends nothing after its last frame.
    if (last && !out.received.empty()) broken = true;
    return last && !broken;
}

void Pool::leaveBlocked(const Helper& helper, const std::string& key, Clock::time_point now) {
    ::kill(helper.pid, SIGKILL);
    left.push_back(Left{.helper = helper, .key = key, .killed = now});
    Mount& mount = mounts[key];
    ++mount.left;
    if (mount.standing != Standing::silent) {
        mount.standing = Standing::silent;
        mount.pause = std::chrono::milliseconds(0);
        checkLater(mount, now);
    }
    wakeWatcher();
}

std::vector<Helper> Pool::enterNamespace(std::uint64_t now) {
    if (now == space) return {};
    space = now;
    std::vector<Helper> gone = std::move(idle);
    idle.clear();
    std::erase_if(mounts, [](const auto& entry) { return entry.second.left == 0 && !entry.second.checking; });
    return gone;
}

void Pool::wakeWatcher() {
    if (!m_watching) startWatcher();
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t told = ::write(m_wake, &one, sizeof one);
    }
}

void Pool::startWatcher() {
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_watching = true;
    std::thread([this] { watch(*this); }).detach();
}

// The watcher: reaps each left helper once its call returns (its mount answered, or went away),
// and checks each silent mount that holds none, one check at a time, until it answers.
void watch(Pool& pool) {
    for (;;) {
        std::vector<pollfd> watched{{.fd = pool.m_wake, .events = POLLIN, .revents = 0}};
        std::vector<std::string> due;
        std::size_t leftCount = 0, checkCount = 0;
        auto wakeAt = Clock::time_point::max();
        {
            std::lock_guard guard(pool.lock);
            const auto now = Clock::now();
            leftCount = pool.left.size();
            checkCount = pool.checks.size();
            for (const Left& left : pool.left) watched.push_back({.fd = left.helper.channel, .events = POLLIN, .revents = 0});
            for (const Out& check : pool.checks) {
                const short events = static_cast<short>(POLLIN | (check.sent < check.sending.size() ? POLLOUT : 0));
                watched.push_back({.fd = check.helper.channel, .events = events, .revents = 0});
                wakeAt = std::min(wakeAt, check.deadline);
            }
            for (auto& [key, mount] : pool.mounts) {
                if (mount.standing != Standing::silent || mount.left > 0 || mount.checking) continue;
                if (now < mount.nextCheck) {
                    wakeAt = std::min(wakeAt, mount.nextCheck);
                } else if (key.empty() || key.front() != '/') {
                    // No path to check (the launchers): the next call finds out, one at a time.
                    mount.standing = Standing::unknown;
                    pool.changed.notify_all();
                } else if (pool.waitingOnMounts() + static_cast<int>(due.size()) < mostLeft) {
                    mount.checking = true;
                    due.push_back(key);
                } else {
                    wakeAt = std::min(wakeAt, now + firstPause);
                }
            }
        }
        if (!due.empty()) {
            for (const std::string& key : due) {
                std::string why;
                std::optional<Helper> helper = startHelper(why);
                std::lock_guard guard(pool.lock);
                Mount& mount = pool.mounts[key];
                if (!helper) {
                    checkLater(mount, Clock::now());
                    continue;
                }
                Out check;
                check.helper = *helper;
                check.key = key;
                check.sending = framed(encode(checkOf(key)));
                check.deadline = Clock::now() + PathGate::answerLimit;
                pool.checks.push_back(std::move(check));
            }
            continue;
        }
        const auto now = Clock::now();
        const long long wait =
            wakeAt == Clock::time_point::max()
                ? -1
                : std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count());
        if (::poll(watched.data(), watched.size(), static_cast<int>(std::min<long long>(wait, INT_MAX))) < 0 &&
            errno != EINTR)
            continue;

        std::vector<Helper> toReap, toEnd;
        std::vector<std::string> toRemove;
        {
            std::lock_guard guard(pool.lock);
            const auto later = Clock::now();
            if (watched[0].revents) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t drained = ::read(pool.m_wake, &count, sizeof count);
            }
            // Only the watcher takes from these lists; others add at their ends.
            std::vector<bool> gone(leftCount, false);
            for (std::size_t i = 0; i < leftCount; ++i) {
                if (!watched[1 + i].revents) continue;
                gone[i] = true;
                const Left& left = pool.left[i];
                toReap.push_back(left.helper);
                Mount& mount = pool.mounts[left.key];
                // Its call came back, so the mount may answer now: it is checked at once. One freed
                // by the kill itself (a call the server never took) tells nothing of the mount.
                if (--mount.left == 0 && mount.standing == Standing::silent && later - left.killed > freedByKill)
                    mount.nextCheck = later;
            }
            std::vector<Left> stillLeft;
            for (std::size_t i = 0; i < pool.left.size(); ++i)
                if (i >= leftCount || !gone[i]) stillLeft.push_back(std::move(pool.left[i]));
            pool.left = std::move(stillLeft);

            std::vector<Out> stillChecking;
            for (std::size_t i = 0; i < pool.checks.size(); ++i) {
                Out& check = pool.checks[i];
                Mount& mount = pool.mounts[check.key];
                const short events = i < checkCount ? watched[1 + leftCount + i].revents : 0;
                const bool alive = exchange(check, events);
                bool broken = false, progressed = false;
                const bool answered = alive && takeFrames(check, broken, progressed);
                if (answered) {
                    mount.standing = Standing::answering;
                    mount.answered = later;
                    mount.pause = std::chrono::milliseconds(0);
                    mount.checking = false;
                    toRemove.insert(toRemove.end(), mount.partFiles.begin(), mount.partFiles.end());
                    mount.partFiles.clear();
                    if (pool.idle.size() < pool.idleLimit()) pool.idle.push_back(check.helper);
                    else toEnd.push_back(check.helper);
                    pool.changed.notify_all();
                } else if (!alive || broken) {
                    toEnd.push_back(check.helper);
                    checkLater(mount, later);
                } else if (later >= check.deadline) {
                    ::kill(check.helper.pid, SIGKILL);
                    pool.left.push_back(Left{.helper = check.helper, .key = check.key, .killed = later});
                    ++mount.left;
                    checkLater(mount, later);
                } else {
                    stillChecking.push_back(std::move(check));
                }
            }
            pool.checks = std::move(stillChecking);
        }
        for (const Helper& helper : toReap) reap(helper);
        for (const Helper& helper : toEnd) endHelper(helper);
        removePartFiles(std::move(toRemove));
    }
}

void reserveHelpers(int count) {
    Pool& shared = pool();
    std::vector<Helper> surplus;
    {
        std::lock_guard guard(shared.lock);
        shared.reserved = std::max(0, shared.reserved + count);
        while (shared.idle.size() > shared.idleLimit()) {
            surplus.push_back(shared.idle.back());
            shared.idle.pop_back();
        }
    }
    for (const Helper& helper : surplus) endHelper(helper);
}

void removeOnceAnswering(const std::string& key, const std::string& path) {
    Pool& shared = pool();
    std::lock_guard guard(shared.lock);
    shared.mounts[key].partFiles.push_back(path);
    shared.wakeWatcher();
}

bool isSilent(const std::string& key) {
    Pool& shared = pool();
    std::lock_guard guard(shared.lock);
    const auto found = shared.mounts.find(key);
    return found != shared.mounts.end() && shared.standingOf(found->second, Clock::now()) == Standing::silent;
}

int livingHelpers() {
    Pool& shared = pool();
    std::lock_guard guard(shared.lock);
    return static_cast<int>(shared.idle.size() + shared.left.size() + shared.checks.size()) + shared.working;
}

int leftHelpers() {
    Pool& shared = pool();
    std::lock_guard guard(shared.lock);
    return static_cast<int>(shared.left.size() + shared.checks.size());
}

} // namespace tallymere::gate
