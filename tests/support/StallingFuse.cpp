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
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
        // The root's attributes are kept for a minute, as a network file system's are: a look at
        // the mount point is answered from that, the files below it only by the server.
        if (node->id == 1) out.attr_valid = 60;
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

// Serves every device, holding every request unanswered between `control`'s "s" (stall) and "r"
// (resume), and telling `control` the count held on "c". Runs in the forked server.
[[noreturn]] void serve(const std::vector<int>& devices, int control) {
    static char buffer[FUSE_MIN_READ_BUFFER + 128 * 1024];
    bool stalled = false;
    std::vector<std::pair<int, std::string>> held;
    std::vector<pollfd> watched;
    for (int device : devices) watched.push_back({device, POLLIN, 0});
    watched.push_back({control, POLLIN, 0});
    std::size_t open = devices.size();
    for (;;) {
        if (::poll(watched.data(), watched.size(), -1) < 0) continue;
        if (watched.back().revents) {
            char told = 0;
            if (::read(control, &told, 1) != 1) ::_exit(0);
            if (told == 's') stalled = true;
            if (told == 'r') {
                stalled = false;
                for (auto& [device, request] : held) {
                    fuse_in_header in;
                    std::memcpy(&in, request.data(), sizeof in);
                    answer(device, in, request.data() + sizeof in);
                }
                held.clear();
            }
            const std::string reply = told == 'c' ? std::to_string(held.size()) : "k";
            [[maybe_unused]] const ssize_t acknowledged = ::write(control, reply.data(), reply.size());
        }
        for (std::size_t i = 0; i + 1 < watched.size(); ++i) {
            const int device = watched[i].fd;
            const short events = watched[i].revents;
            if (device < 0 || !events) continue;
            const ssize_t got = (events & POLLIN) ? ::read(device, buffer, sizeof buffer - 1) : -1;
            if (got < 0 && (errno == EINTR || errno == EAGAIN) && (events & POLLIN)) continue;
            if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) {
                // Unmounted: this device is done, and the server with the last one.
                watched[i].fd = -1;
                if (--open == 0) ::_exit(0);
                continue;
            }
            fuse_in_header in;
            std::memcpy(&in, buffer, sizeof in);
            if (in.opcode == FUSE_INTERRUPT || in.opcode == FUSE_FORGET || in.opcode == FUSE_BATCH_FORGET) continue;
            buffer[got] = '\0';
            if (stalled && in.opcode != FUSE_INIT) {
                held.emplace_back(device, std::string(buffer, static_cast<std::size_t>(got) + 1));
                continue;
            }
            answer(device, in, buffer + sizeof in);
        }
    }
}

} // namespace

StallingFuse::StallingFuse(const std::string& mountPoint) : StallingFuse(std::vector<std::string>{mountPoint}) {}

StallingFuse::StallingFuse(const std::vector<std::string>& mountPoints) : m_mountPoints(mountPoints) {
    std::vector<int> devices;
    const auto giveUp = [&] {
        for (std::size_t i = 0; i < devices.size(); ++i) ::umount2(m_mountPoints[i].c_str(), MNT_DETACH);
        for (int device : devices) ::close(device);
    };
    for (const std::string& mountPoint : mountPoints) {
        const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (device < 0) {
            giveUp();
            return;
        }
        // Anyone may look: a test may look as another user.
        const std::string options = "fd=" + std::to_string(device) + ",rootmode=40000,allow_other,user_id=" +
                                    std::to_string(::getuid()) + ",group_id=" + std::to_string(::getgid());
        if (::mount("stallingfuse", mountPoint.c_str(), "fuse.stallingfuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            ::close(device);
            giveUp();
            return;
        }
        devices.push_back(device);
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        giveUp();
        return;
    }
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(ends[1]);
        serve(devices, ends[0]);
    }
    // From here on only the server holds the devices: when it ends, the file systems go down.
    for (int device : devices) ::close(device);
    ::close(ends[0]);
    if (server < 0) {
        ::close(ends[1]);
        for (const std::string& mountPoint : mountPoints) ::umount2(mountPoint.c_str(), MNT_DETACH);
        return;
    }
    m_server = server;
    m_control = ends[1];
}
namespace {

// Tells the server, and waits for its answer.
std::string tell(int control, char what) {
    char answer[32];
    if (::write(control, &what, 1) != 1) return {};
    const ssize_t got = ::read(control, answer, sizeof answer);
    return got > 0 ? std::string(answer, static_cast<std::size_t>(got)) : std::string();
}

} // namespace

void StallingFuse::stall() { tell(m_control, 's'); }
void StallingFuse::resume() { tell(m_control, 'r'); }
int StallingFuse::heldRequests() { return std::atoi(tell(m_control, 'c').c_str()); }

StallingFuse::~StallingFuse() {
    if (m_server <= 0) return;
    ::kill(m_server, SIGKILL);
    ::waitpid(m_server, nullptr, 0);
    ::close(m_control);
    for (const std::string& mountPoint : m_mountPoints) ::umount2(mountPoint.c_str(), MNT_DETACH);
}

} // namespace tallymere::test
