#include "support/StallingFuse.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tallymere::test {

namespace {

struct Node {
    std::uint64_t id;
    std::uint64_t parent;
    const char* name;
    const char* content; // null for a folder
};

constexpr Node nodes[] = {
    {1, 0, "", nullptr},
    {2, 1, "file.txt", "hello\n"},
    {3, 1, "sub", nullptr},
    {4, 3, "inner.txt", "inner\n"},
};

const Node* nodeOf(std::uint64_t id) {
    for (const Node& node : nodes)
        if (node.id == id) return &node;
    return nullptr;
}

void fill(fuse_attr& attr, const Node& node) {
    attr = {};
    attr.ino = node.id;
    attr.mode = node.content ? (S_IFREG | 0644) : (S_IFDIR | 0755);
    attr.nlink = node.content ? 1 : 2;
    attr.size = node.content ? std::strlen(node.content) : 0;
    attr.blocks = 1;
    attr.uid = ::getuid();
    attr.gid = ::getgid();
    attr.mtime = attr.ctime = attr.atime = 1700000000;
    attr.blksize = 4096;
}

// Writes one reply: the header, then `size` bytes of body.
void reply(int device, std::uint64_t unique, int error, const void* body, std::size_t size) {
    char out[sizeof(fuse_out_header) + 8192];
    fuse_out_header header{};
    header.len = static_cast<std::uint32_t>(sizeof header + size);
    header.error = -error;
    header.unique = unique;
    std::memcpy(out, &header, sizeof header);
    if (size) std::memcpy(out + sizeof header, body, size);
    [[maybe_unused]] const ssize_t written = ::write(device, out, header.len);
}

template <class Body>
void replyWith(int device, std::uint64_t unique, const Body& body) {
    reply(device, unique, 0, &body, sizeof body);
}

void answer(int device, const fuse_in_header& in, const char* body) {
    switch (in.opcode) {
    case FUSE_INIT: {
        fuse_init_in greeting;
        std::memcpy(&greeting, body, sizeof greeting);
        fuse_init_out init{};
        init.major = FUSE_KERNEL_VERSION;
        init.minor = greeting.minor < FUSE_KERNEL_MINOR_VERSION ? greeting.minor : FUSE_KERNEL_MINOR_VERSION;
        init.max_readahead = greeting.max_readahead;
        init.max_write = 4096;
        replyWith(device, in.unique, init);
        return;
    }
    case FUSE_LOOKUP:
        for (const Node& node : nodes)
            if (node.parent == in.nodeid && std::strcmp(node.name, body) == 0) {
                fuse_entry_out entry{};
                entry.nodeid = node.id;
                fill(entry.attr, node);
                replyWith(device, in.unique, entry);
                return;
            }
        reply(device, in.unique, ENOENT, nullptr, 0);
        return;
    case FUSE_GETATTR: {
        const Node* node = nodeOf(in.nodeid);
        if (!node) return reply(device, in.unique, ENOENT, nullptr, 0);
        fuse_attr_out out{};
        fill(out.attr, *node);
        replyWith(device, in.unique, out);
        return;
    }
    case FUSE_OPEN:
    case FUSE_OPENDIR: {
        fuse_open_out open{};
        open.open_flags = FOPEN_DIRECT_IO;
        replyWith(device, in.unique, open);
        return;
    }
    case FUSE_READ: {
        fuse_read_in read;
        std::memcpy(&read, body, sizeof read);
        const Node* node = nodeOf(in.nodeid);
        const std::size_t length = node && node->content ? std::strlen(node->content) : 0;
        const std::size_t from = read.offset < length ? read.offset : length;
        const std::size_t count = std::min<std::size_t>(read.size, length - from);
        reply(device, in.unique, 0, node && node->content ? node->content + from : "", count);
        return;
    }
    case FUSE_READDIR: {
        fuse_read_in read;
        std::memcpy(&read, body, sizeof read);
        char listing[4096];
        std::size_t used = 0;
        std::uint64_t index = 0;
        for (const Node& node : nodes) {
            if (node.parent != in.nodeid) continue;
            if (++index <= read.offset) continue;
            const std::size_t nameLength = std::strlen(node.name);
            const std::size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + nameLength);
            if (used + size > read.size || used + size > sizeof listing) break;
            fuse_dirent entry{};
            entry.ino = node.id;
            entry.off = index;
            entry.namelen = static_cast<std::uint32_t>(nameLength);
            entry.type = node.content ? DT_REG : DT_DIR;
            std::memset(listing + used, 0, size);
            std::memcpy(listing + used, &entry, FUSE_NAME_OFFSET);
            std::memcpy(listing + used + FUSE_NAME_OFFSET, node.name, nameLength);
            used += size;
        }
        reply(device, in.unique, 0, listing, used);
        return;
    }
    case FUSE_STATFS: {
        fuse_statfs_out out{};
        out.st.blocks = 1000;
        out.st.bfree = out.st.bavail = 500;
        out.st.bsize = out.st.frsize = 4096;
        out.st.namelen = 255;
        replyWith(device, in.unique, out);
        return;
    }
    case FUSE_RELEASE:
    case FUSE_RELEASEDIR:
    case FUSE_FLUSH:
    case FUSE_ACCESS: reply(device, in.unique, 0, nullptr, 0); return;
    default: reply(device, in.unique, ENOSYS, nullptr, 0); return;
    }
}

// Serves until `control` says to stall, then reads requests for ever and answers none. Runs in the
// forked server.
[[noreturn]] void serve(int device, int control) {
    static char buffer[FUSE_MIN_READ_BUFFER + 128 * 1024];
    bool stalled = false;
    for (;;) {
        pollfd watched[2] = {{device, POLLIN, 0}, {control, POLLIN, 0}};
        if (::poll(watched, stalled ? 1 : 2, -1) < 0) continue;
        if (!stalled && watched[1].revents) {
            char told;
            [[maybe_unused]] const ssize_t got = ::read(control, &told, 1);
            stalled = true;
            [[maybe_unused]] const ssize_t acknowledged = ::write(control, "k", 1);
        }
        if (!(watched[0].revents & POLLIN)) {
            if (watched[0].revents & (POLLERR | POLLHUP)) ::_exit(0);
            continue;
        }
        const ssize_t got = ::read(device, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) ::_exit(0); // unmounted
        fuse_in_header in;
        std::memcpy(&in, buffer, sizeof in);
        if (in.opcode == FUSE_INTERRUPT || in.opcode == FUSE_FORGET || in.opcode == FUSE_BATCH_FORGET) continue;
        if (stalled && in.opcode != FUSE_INIT) continue;
        buffer[got] = '\0';
        answer(device, in, buffer + sizeof in);
    }
}

} // namespace

StallingFuse::StallingFuse(const std::string& mountPoint) : m_mountPoint(mountPoint) {
    const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0) return;
    const std::string options = "fd=" + std::to_string(device) + ",rootmode=40000,user_id=" +
                                std::to_string(::getuid()) + ",group_id=" + std::to_string(::getgid());
    int pipeEnds[2];
    if (::mount("stallingfuse", mountPoint.c_str(), "fuse.stallingfuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) {
        ::close(device);
        return;
    }
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(pipeEnds[1]);
        serve(device, pipeEnds[0]);
    }
    ::close(device);
    ::close(pipeEnds[0]);
    if (server < 0) {
        ::close(pipeEnds[1]);
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        return;
    }
    m_server = server;
    m_control = pipeEnds[1];
}

void StallingFuse::stall() {
    // Answered once the server has stopped answering.
    char acknowledged;
    if (::write(m_control, "s", 1) == 1) [[maybe_unused]] const ssize_t got = ::read(m_control, &acknowledged, 1);
}

StallingFuse::~StallingFuse() {
    if (m_server <= 0) return;
    ::kill(m_server, SIGKILL);
    ::waitpid(m_server, nullptr, 0);
    ::close(m_control);
    ::umount2(m_mountPoint.c_str(), MNT_DETACH);
}

} // namespace tallymere::test
