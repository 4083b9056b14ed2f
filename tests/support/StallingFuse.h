#pragma once
#include <sys/types.h>

#include <cstdint>

#include <string>
#include <vector>

namespace tallymere::test {

// A FUSE file system that serves a few files and then, once told, reads every request and answers
// none, as a network file system whose server stopped does: every call on it blocks in the kernel
// until it is taken down. It holds "file.txt" ("hello\n") and "sub/inner.txt" ("inner\n"), and
// files can be made, written, renamed and removed in it (kept in the server's memory). The
// kernel keeps the root's attributes for a minute, as it does a network file system's, and nothing
// else: every other call asks the server. Mount it only in a
// private mount namespace (runInPrivateMounts), as DeadFuse.
class StallingFuse {
public:
    // Mounts on `mountPoint`, an empty folder. isMounted() is false where this system refuses
    // (no /dev/fuse, or no right to mount it).
    explicit StallingFuse(const std::string& mountPoint);
    // The same file system on each of `mountPoints`, all served by one server process.
    explicit StallingFuse(const std::vector<std::string>& mountPoints);
    ~StallingFuse();
    StallingFuse(const StallingFuse&) = delete;
    StallingFuse& operator=(const StallingFuse&) = delete;

    bool isMounted() const { return m_server > 0; }
    // From now on, no request is answered.
    void stall();
    // Answers every request held since stall(), in order, and each new one, as a server does that
    // comes back.
    void resume();
    // The requests held unanswered so far (each one a caller left waiting).
    int heldRequests();
    // From now on each write is answered after `milliseconds`, as a slow network's server does.
    void delayWrites(int milliseconds);
    // Stalls, as stall() does, once this many bytes in all have been written from now on.
    void stallAfterWriting(std::uint64_t bytes);
    // At the next rename the server makes it, then kills the process that asked, then answers.
    void killOnRename();
    // Adds `folders` folders "d0", "d1"... to the top, each holding `filesEach` files of 1000 bytes.
    void growTree(int folders, int filesEach);
    // From now on every answer waits `milliseconds` first, as a distant server's does.
    void delayEvery(int milliseconds);
    // Stops the server itself: it reads no request from now on (a caller killed while it waits is
    // freed at once), until it is taken down.
    void stopReading();
    // How many requests of this FUSE opcode (FUSE_RENAME, FUSE_WRITE...) the server has read.
    int received(std::uint32_t opcode);

private:
    std::vector<std::string> m_mountPoints;
    pid_t m_server = -1;
    int m_control = -1;
};

} // namespace tallymere::test
