#include "platform/gate/GatePool.h"

#include "platform/PathGate.h"
#include "platform/gate/GateOps.h"
#include "platform/gate/GatePoolSeam.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <string_view>
#include <system_error>

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
}

std::vector<Helper> Pool::enterNamespace(std::uint64_t now) {
    if (now == space) return {};
    space = now;
    std::vector<Helper> gone = std::move(idle);
    idle.clear();
    std::erase_if(mounts, [](const auto& entry) { return entry.second.left == 0 && !entry.second.checking; });
    return gone;
}

void Pool::progress() {
    std::unique_lock busy(m_progressing, std::try_to_lock);
    if (!busy.owns_lock()) return;
    std::vector<Helper> toReap, toEnd;
    std::vector<std::pair<std::string, Request>> toStart;
    {
        std::lock_guard guard(lock);
        const auto now = Clock::now();
        // A left helper whose channel has closed has ended: its call came back, so its mount may
        // answer now and is checked at once. One freed by the kill itself (a call the server never
        // took) tells nothing of the mount.
        std::erase_if(left, [&](const Left& gone) {
            pollfd ended{.fd = gone.helper.channel, .events = POLLIN, .revents = 0};
            if (::poll(&ended, 1, 0) == 0) return false;
            toReap.push_back(gone.helper);
            Mount& mount = mounts[gone.key];
            if (--mount.left == 0 && mount.standing == Standing::silent && now - gone.killed > freedByKill)
                mount.nextCheck = now;
            return true;
        });
        std::vector<Out> stillChecking;
        for (Out& check : checks) {
            Mount& mount = mounts[check.key];
            pollfd moved{.fd = check.helper.channel,
                         .events = static_cast<short>(POLLIN | (check.sent < check.sending.size() ? POLLOUT : 0)),
                         .revents = 0};
            ::poll(&moved, 1, 0);
            const bool alive = exchange(check, moved.revents);
            bool broken = false, progressed = false;
            const bool answered = alive && takeFrames(check, broken, progressed);
            if (answered) {
                mount.standing = Standing::answering;
                mount.answered = now;
                mount.pause = std::chrono::milliseconds(0);
                mount.checking = false;
                // What failed writes left there goes now, each by a helper of its own.
                for (std::string& path : mount.partFiles) {
                    Request removal;
                    removal.op = Op::removeFile;
                    removal.texts.push_back(std::move(path));
                    toStart.emplace_back(check.key, std::move(removal));
                }
                mount.partFiles.clear();
                if (idle.size() < idleLimit()) idle.push_back(check.helper);
                else toEnd.push_back(check.helper);
                changed.notify_all();
            } else if (!alive || broken) {
                toEnd.push_back(check.helper);
                checkLater(mount, now);
            } else if (now >= check.deadline) {
                ::kill(check.helper.pid, SIGKILL);
                left.push_back(Left{.helper = check.helper, .key = check.key, .killed = now});
                ++mount.left;
                mount.standing = Standing::silent;
                checkLater(mount, now);
            } else {
                stillChecking.push_back(std::move(check));
            }
        }
        checks = std::move(stillChecking);
        for (auto& [key, mount] : mounts) {
            if (mount.standing != Standing::silent || mount.left > 0 || mount.checking || now < mount.nextCheck)
                continue;
            if (key.empty() || key.front() != '/') {
                // No path to check (the launchers): the next call finds out, one at a time.
                mount.standing = Standing::unknown;
                changed.notify_all();
            } else if (waitingOnMounts() + static_cast<int>(toStart.size()) < mostLeft) {
                mount.checking = true;
                toStart.emplace_back(key, checkOf(key));
            }
        }
    }
    for (const Helper& helper : toReap) reap(helper);
    for (const Helper& helper : toEnd) endHelper(helper);
    for (auto& [key, request] : toStart) {
        std::string why;
        std::optional<Helper> helper = startHelper(why);
        std::lock_guard guard(lock);
        Mount& mount = mounts[key];
        if (!helper) {
            if (request.op == Op::statVfs) checkLater(mount, Clock::now());
            else mount.partFiles.push_back(std::move(request.texts.front()));
            continue;
        }
        Out check;
        check.helper = *helper;
        check.key = key;
        check.sending = framed(encode(request));
        check.deadline = Clock::now() + PathGate::answerLimit;
        // A removal stands for a check: its answer, too, says the mount answers.
        mount.checking = true;
        checks.push_back(std::move(check));
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
}

bool isSilent(const std::string& key) {
    Pool& shared = pool();
    shared.progress();
    std::lock_guard guard(shared.lock);
    const auto found = shared.mounts.find(key);
    return found != shared.mounts.end() && shared.standingOf(found->second, Clock::now()) == Standing::silent;
}

int livingHelpers() {
    Pool& shared = pool();
    shared.progress();
    std::lock_guard guard(shared.lock);
    return static_cast<int>(shared.idle.size() + shared.left.size() + shared.checks.size()) + shared.working;
}

int leftHelpers() {
    Pool& shared = pool();
    shared.progress();
    std::lock_guard guard(shared.lock);
    return static_cast<int>(shared.left.size() + shared.checks.size());
}

} // namespace tallymere::gate
