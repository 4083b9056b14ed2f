#pragma once
#include <sys/types.h>

#include <string>

namespace tallymere::test {

// A FUSE file system that answers the kernel's greeting and then never answers again, as a stuck
// server does: every look at the mount point (a stat, an open) blocks in the kernel until the
// file system is taken down, when each blocked call fails. It is stuck in one of two ways: it reads
// each request and leaves it unanswered (a caller killed while waiting stays blocked), or it stops
// reading them (a caller killed while waiting is freed at once, as with a stopped server). Its server is a process of its own, so
// the calls it leaves blocked are never in the way of taking it down. Mount it only in a private
// mount namespace (runInPrivateMounts): it is unmounted with the namespace, and a mount left
// behind in the test's own would block whatever walks the temporary folder.
class DeadFuse {
public:
    enum class Kind { readsAndNeverAnswers, stopsReading };

    // Mounts on `mountPoint`, an empty folder. isMounted() is false where this system refuses
    // (no /dev/fuse, no right to mount it).
    explicit DeadFuse(const std::string& mountPoint, Kind kind = Kind::readsAndNeverAnswers);
    // Takes the file system down: every call blocked on it returns with an error.
    ~DeadFuse();
    DeadFuse(const DeadFuse&) = delete;
    DeadFuse& operator=(const DeadFuse&) = delete;

    bool isMounted() const { return m_server > 0; }
    // Why it is not mounted, with the system's reason ("no /dev/fuse here (...)"); empty once it is.
    const std::string& whyNotMounted() const { return m_whyNot; }
    // The requests the server has read past its greeting so far (each one a caller left waiting);
    // always 0 for one that stops reading.
    int requests();

private:
    std::string m_mountPoint;
    pid_t m_server = -1;
    int m_counts = -1; // the server writes a byte here for every request it leaves unanswered
    int m_seen = 0;
    std::string m_whyNot;
};

} // namespace tallymere::test
