#pragma once
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GateWire.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The helpers of the gate and what it knows of each mount, shared by every caller. The helpers left
// blocked are reaped, and the mounts that stopped answering checked, by whichever caller comes
// next: the gate has no thread of its own, so a process forked from the program (a test's) can use
// it as the program does. Private to the gate.
namespace tallymere::gate {

using Clock = std::chrono::steady_clock;

// The PathGate error values, which this layer's headers do not see.
constexpr int noAnswer = -1;
constexpr int noOutcome = -2;

struct Helper {
    pid_t pid = -1;
    int channel = -1;
};

// One call handed to a helper and not answered yet.
struct Out {
    Helper helper;
    std::size_t index = 0;
    Clock::time_point deadline;
    std::string sending;
    std::size_t sent = 0;
    std::string received;
    Reply reply;        // the frames of a reply in parts, joined
    bool retried = false;
    bool doubtful = false; // asked while its mount was not known to answer
    std::string key;       // a check's mount
};

enum class Standing { unknown, answering, silent };

struct Mount {
    Standing standing = Standing::unknown;
    Clock::time_point answered{}; // when it last answered
    int working = 0;              // its calls out now
    int left = 0;                 // helpers left blocked under it
    bool checking = false;        // a check of it is out
    Clock::time_point nextCheck{};
    std::chrono::milliseconds pause{0};
    std::vector<std::string> partFiles; // removed once it answers
};

// A helper given up on: it ends once its call returns (it was killed), and its channel then closes.
struct Left {
    Helper helper;
    std::string key;
    Clock::time_point killed;
};

class Pool {
public:
    std::mutex lock;
    std::condition_variable changed; // a helper came free, or a mount's standing changed
    std::vector<Helper> idle;
    int reserved = 0; // helpers kept idle beyond mostIdle, for work that asks for them
    int working = 0;
    int doubtful = 0; // calls out on mounts not known to answer
    std::vector<Left> left;
    std::vector<Out> checks; // the checks of silent mounts (and removals of part files), each under its key
    std::unordered_map<std::string, Mount> mounts;
    std::once_flag noted;
    // The mount namespace the idle helpers and the mounts' standings belong to: a process that moves
    // to another (a test's, with mounts of its own) starts afresh, as a helper sees the mounts of the
    // namespace it was started in.
    std::uint64_t space = 0;
    // Lets go of what belongs to another namespace than `now`; the idle helpers to end are returned.
    std::vector<Helper> enterNamespace(std::uint64_t now);

    // How `mount` stands now: an answer grows stale.
    Standing standingOf(const Mount& mount, Clock::time_point now) const {
        if (mount.standing == Standing::answering && now - mount.answered > freshFor) return Standing::unknown;
        return mount.standing;
    }
    // How many idle helpers are kept.
    std::size_t idleLimit() const { return static_cast<std::size_t>(mostIdle + reserved); }
    // The helpers left on mounts, and with the calls out that may join them, against their limit.
    int leftOnMounts() const { return static_cast<int>(left.size() + checks.size()); }
    int waitingOnMounts() const { return leftOnMounts() + doubtful; }

    // A call under `key` ran past its bound: its helper, killed, is left, and the mount is silent.
    // With the lock held.
    void leaveBlocked(const Helper& helper, const std::string& key, Clock::time_point now);
    // Reaps the left helpers that have ended, takes in the checks' answers, and starts the checks
    // that are due, without waiting for anything. Without the lock held; one caller at a time.
    void progress();

private:
    std::mutex m_progressing;
};

// The pool of this process (a child forked since gets one of its own).
Pool& pool();

// Starts a helper with its end of a new channel as descriptor 3 and nothing else open; none, and
// why, when it cannot.
std::optional<Helper> startHelper(std::string& why);
// Kills and reaps a helper that answered wrongly or is no longer wanted.
void endHelper(const Helper& helper);
// Says once, on standard error, that calls on mounts that may stop answering cannot be bounded.
void noteUnbounded(const std::string& why);

// Moves what the channel lets through now; false when the helper has gone.
bool exchange(Out& out, short events);
// Takes the whole frames received so far into out.reply; true once its last frame is in. False with
// `broken` set when a frame is no reply.
bool takeFrames(Out& out, bool& broken, bool& progressed);

} // namespace tallymere::gate
