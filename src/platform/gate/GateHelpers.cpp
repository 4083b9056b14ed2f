#include "platform/gate/GateHelpers.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <system_error>
#include <unordered_map>

extern char** environ;

namespace tallymere::gate {
namespace {

// The PathGate::notAnswering value, which this layer's header does not see.
constexpr int noAnswer = -1;

std::atomic<bool> direct{false};

struct Helper {
    pid_t pid = -1;
    int channel = -1;
};

// A helper left blocked: its channel closes when it has ended.
struct Left {
    Helper helper;
    std::string key;
};

// A call handed to a helper and not answered yet.
struct Call {
    Helper helper;
    std::size_t index = 0;
    std::chrono::steady_clock::time_point deadline;
    std::string out;
    std::size_t sent = 0;
    std::string in;
    bool retried = false;
};

void endHelper(const Helper& helper) {
    ::close(helper.channel);
    ::kill(helper.pid, SIGKILL);
    ::waitpid(helper.pid, nullptr, 0);
}

class Pool {
public:
    std::mutex lock;
    std::condition_variable freed;
    std::vector<Helper> idle;
    int working = 0; // helpers taken by calls under way
    std::vector<Left> left;
    std::unordered_map<std::string, int> blocked;
    std::once_flag noted;

    // Ends what was left and has since come back (its call returned, and the kill took it).
    void sweepLeft() {
        for (std::size_t i = 0; i < left.size();) {
            pollfd ended{.fd = left[i].helper.channel, .events = POLLIN, .revents = 0};
            if (::poll(&ended, 1, 0) == 0) {
                ++i;
                continue;
            }
            ::close(left[i].helper.channel);
            ::waitpid(left[i].helper.pid, nullptr, 0);
            if (--blocked[left[i].key] <= 0) blocked.erase(left[i].key);
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
};

std::atomic<bool> forked{false};

Pool& pool() {
    // Never destroyed: helpers may still be asked while the program ends.
    static Pool* shared = new Pool;
    static const bool watchesForks = ::pthread_atfork(nullptr, nullptr, [] { forked = true; }) == 0;
    // A child forked from this process (a test's) shares its helpers' channels with it: it starts
    // helpers of its own, and leaves those of the process it came from alone.
    if (forked.exchange(false) || !watchesForks) {
        for (const Helper& helper : shared->idle) ::close(helper.channel);
        for (const Left& left : shared->left) ::close(left.helper.channel);
        shared = new Pool;
    }
    return *shared;
}

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

void noteUnbounded(const std::string& why) {
    std::call_once(pool().noted, [&] {
        const std::string text = "tallymere: cannot bound looks at network and FUSE mounts here (" + why +
                                 "); a mount that stops answering may hold the program\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    });
}

// Starts a helper with its end of a new channel as descriptor 3 and nothing else open.
std::optional<Helper> start(std::string& why) {
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

// Moves what the channel lets through now; false when the helper has gone.
bool exchange(Call& call, short events) {
    if (events & (POLLOUT)) {
        while (call.sent < call.out.size()) {
            const ssize_t n = ::send(call.helper.channel, call.out.data() + call.sent, call.out.size() - call.sent,
                                     MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            if (n < 0) return false;
            call.sent += static_cast<std::size_t>(n);
        }
    }
    if (events & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(call.helper.channel, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            if (n <= 0) return false;
            call.in.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return true;
}

bool isAnswered(const Call& call) {
    const std::uint64_t length = frameLength(call.in);
    return call.in.size() >= 8 && call.in.size() - 8 >= length;
}

Reply failure(int error) {
    Reply reply;
    reply.error = error;
    return reply;
}

} // namespace

void makeCallsDirectly() { direct = true; }
bool makesCallsDirectly() { return direct; }

bool isBlocked(const std::string& key) {
    Pool& shared = pool();
    std::lock_guard guard(shared.lock);
    shared.sweepLeft();
    return shared.blocked.contains(key);
}

int livingHelpers() {
    Pool& shared = pool();
    std::lock_guard guard(shared.lock);
    shared.sweepLeft();
    return static_cast<int>(shared.idle.size() + shared.left.size()) + shared.working;
}

std::vector<std::optional<Reply>> askHelpers(const std::vector<Request>& requests, const std::vector<std::string>& keys,
                                             std::chrono::milliseconds limit) {
    Pool& shared = pool();
    std::vector<std::optional<Reply>> replies(requests.size());
    std::size_t next = 0; // the first request not handed out yet
    std::vector<Call> calls;
    bool noHelpers = false;
    const auto release = [&](Helper helper, bool keep) {
        std::lock_guard guard(shared.lock);
        --shared.working;
        if (keep) shared.idle.push_back(helper);
        shared.freed.notify_all();
    };

    while (next < requests.size() || !calls.empty()) {
        // Hand out what the free helpers, and room for new ones, allow.
        std::vector<std::size_t> toStart;
        {
            std::unique_lock guard(shared.lock);
            shared.sweepLeft();
            const auto free = [&] { return !shared.idle.empty() || shared.working < mostAnswering; };
            if (calls.empty() && next < requests.size() && !noHelpers)
                shared.freed.wait(guard, [&] { return free() || shared.blocked.contains(keys[next]); });
            while (next < requests.size() && (noHelpers || shared.blocked.contains(keys[next]) || free())) {
                const std::size_t index = next++;
                if (shared.blocked.contains(keys[index])) {
                    replies[index] = failure(noAnswer);
                    continue;
                }
                if (noHelpers) continue; // left to the caller
                ++shared.working;
                if (!shared.idle.empty()) {
                    calls.push_back(Call{.helper = shared.idle.back(), .index = index, .deadline = {}, .out = {}, .sent = 0, .in = {}});
                    shared.idle.pop_back();
                } else {
                    toStart.push_back(index);
                }
            }
        }
        for (const std::size_t index : toStart) {
            std::string why;
            if (std::optional<Helper> helper = start(why)) {
                calls.push_back(Call{.helper = *helper, .index = index, .deadline = {}, .out = {}, .sent = 0, .in = {}});
                continue;
            }
            release({}, false);
            noteUnbounded(why);
            noHelpers = true;
        }
        for (Call& call : calls) {
            if (!call.out.empty()) continue;
            call.out = framed(encode(requests[call.index]));
            call.deadline = std::chrono::steady_clock::now() + limit;
        }
        if (calls.empty()) continue;

        // Wait for the first of them to move, or the nearest bound.
        std::vector<pollfd> watched;
        auto nearest = calls.front().deadline;
        for (const Call& call : calls) {
            const short events = static_cast<short>(POLLIN | (call.sent < call.out.size() ? POLLOUT : 0));
            watched.push_back(pollfd{.fd = call.helper.channel, .events = events, .revents = 0});
            nearest = std::min(nearest, call.deadline);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nearest - std::chrono::steady_clock::now());
        if (::poll(watched.data(), watched.size(), static_cast<int>(std::max<std::int64_t>(0, wait.count()))) < 0 &&
            errno != EINTR)
            continue;
        const auto now = std::chrono::steady_clock::now();
        std::vector<Call> stillWaiting;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            Call& call = calls[i];
            const bool alive = exchange(call, watched[i].revents);
            if (alive && isAnswered(call)) {
                Reply reply;
                const bool whole = decode(std::string_view(call.in).substr(8), reply);
                replies[call.index] = whole ? std::move(reply) : failure(EIO);
                const bool clean = whole && call.in.size() - 8 == frameLength(call.in);
                if (!clean) endHelper(call.helper);
                release(call.helper, clean);
            } else if (!alive) {
                // Gone without an answer (killed from outside, or it broke): tried once more with a
                // new helper, since an idle one may have been ended while it waited.
                endHelper(call.helper);
                std::string why;
                std::optional<Helper> fresh = call.retried ? std::nullopt : start(why);
                if (fresh) {
                    call.helper = *fresh;
                    call.retried = true;
                    call.out.clear();
                    call.sent = 0;
                    call.in.clear();
                    stillWaiting.push_back(std::move(call));
                    continue;
                }
                replies[call.index] = failure(EIO);
                release({}, false);
            } else if (now >= call.deadline) {
                ::kill(call.helper.pid, SIGKILL);
                replies[call.index] = failure(noAnswer);
                {
                    std::lock_guard guard(shared.lock);
                    shared.left.push_back(Left{.helper = call.helper, .key = keys[call.index]});
                    ++shared.blocked[keys[call.index]];
                }
                release({}, false);
            } else {
                stillWaiting.push_back(std::move(call));
            }
        }
        calls = std::move(stillWaiting);
    }
    return replies;
}

} // namespace tallymere::gate
