#include "support/DeadFuse.h"

#include <fcntl.h>
#include <linux/fuse.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tallymere::test {

namespace {

// Answers the greeting, then reads requests for ever and answers none, telling `counts` of each
// one that leaves a caller waiting; or, `reads` false, reads none after the greeting. Runs in the
// forked server: system calls only.
[[noreturn]] void serve(int device, int counts, bool reads) {
    // The kernel refuses reads into less than its largest request.
    static char buffer[FUSE_MIN_READ_BUFFER + 128 * 1024];
    for (;;) {
        const ssize_t got = ::read(device, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) ::_exit(0); // unmounted
        fuse_in_header in;
        std::memcpy(&in, buffer, sizeof in);
        if (in.opcode == FUSE_INIT) {
            fuse_init_in greeting;
            std::memcpy(&greeting, buffer + sizeof in, sizeof greeting);
            struct {
                fuse_out_header header;
                fuse_init_out init;
            } reply {};
            reply.header.len = sizeof reply;
            reply.header.unique = in.unique;
            reply.init.major = FUSE_KERNEL_VERSION;
            reply.init.minor = greeting.minor < FUSE_KERNEL_MINOR_VERSION ? greeting.minor : FUSE_KERNEL_MINOR_VERSION;
            reply.init.max_readahead = greeting.max_readahead;
            reply.init.max_write = 4096;
            if (::write(device, &reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) ::_exit(1);
            if (!reads)
                for (;;) ::pause();
            continue;
        }
        // What the kernel sends without waiting for an answer.
        if (in.opcode == FUSE_INTERRUPT || in.opcode == FUSE_FORGET || in.opcode == FUSE_BATCH_FORGET) continue;
        [[maybe_unused]] const ssize_t told = ::write(counts, "r", 1);
    }
}

} // namespace

DeadFuse::DeadFuse(const std::string& mountPoint, Kind kind) : m_mountPoint(mountPoint) {
    const auto fail = [&](const std::string& what) { m_whyNot = what + " (" + std::strerror(errno) + ")"; };
    const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0) {
        fail("no /dev/fuse to serve a FUSE file system here");
        return;
    }
    const std::string options = "fd=" + std::to_string(device) + ",rootmode=40000,user_id=" +
                                std::to_string(::getuid()) + ",group_id=" + std::to_string(::getgid());
    int pipeEnds[2];
    if (::mount("deadfuse", mountPoint.c_str(), "fuse.deadfuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        fail("cannot mount a FUSE file system here");
        ::close(device);
        return;
    }
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        fail("no pipe for the FUSE server");
        ::close(device);
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        return;
    }
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(pipeEnds[0]);
        serve(device, pipeEnds[1], kind == Kind::readsAndNeverAnswers);
    }
    // From here on only the server holds the device: when it ends, the file system goes down.
    ::close(device);
    ::close(pipeEnds[1]);
    if (server < 0) {
        fail("no process for the FUSE server");
        ::close(pipeEnds[0]);
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        return;
    }
    ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    m_server = server;
    m_counts = pipeEnds[0];
}

DeadFuse::~DeadFuse() {
    if (m_server <= 0) return;
    ::kill(m_server, SIGKILL);
    ::waitpid(m_server, nullptr, 0);
    ::close(m_counts);
    ::umount2(m_mountPoint.c_str(), MNT_DETACH);
}

int DeadFuse::requests() {
    char told[64];
    for (ssize_t got; (got = ::read(m_counts, told, sizeof told)) > 0;) m_seen += static_cast<int>(got);
    return m_seen;
}

} // namespace tallymere::test
