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
    std::string name;
    bool isFolder;
    std::string content;
    std::uint32_t mode;
};

// What the server holds: its files, and what the tests asked of it. In the forked server only.
struct Store {
    std::vector<Node> nodes{
        {1, 0, "", true, "", 0755},
        {2, 1, "file.txt", false, "hello\n", 0644},
        {3, 1, "sub", true, "", 0755},
        {4, 3, "inner.txt", false, "inner\n", 0644},
    };
    std::uint64_t nextId = 5;
    int writeDelayMs = 0;
    int everyDelayMs = 0;
    std::uint64_t stallAfter = ~std::uint64_t(0); // bytes still to be written before stalling
    bool killAtRename = false;
    std::vector<std::pair<std::uint32_t, int>> counts;

    Node* nodeOf(std::uint64_t id) {
        for (Node& node : nodes)
            if (node.id == id) return &node;
        return nullptr;
    }
    Node* child(std::uint64_t parent, const char* name) {
        for (Node& node : nodes)
            if (node.parent == parent && node.name == name) return &node;
        return nullptr;
    }
    void count(std::uint32_t opcode) {
        for (auto& [known, count] : counts)
            if (known == opcode) {
                ++count;
                return;
            }
        counts.emplace_back(opcode, 1);
    }
};

void fill(fuse_attr& attr, const Node& node) {
    attr = {};
    attr.ino = node.id;
    attr.mode = (node.isFolder ? S_IFDIR : S_IFREG) | node.mode;
    attr.nlink = node.isFolder ? 2 : 1;
    attr.size = node.content.size();
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

void replyEntry(int device, std::uint64_t unique, const Node& node) {
    fuse_entry_out entry{};
    entry.nodeid = node.id;
    fill(entry.attr, node);
    replyWith(device, unique, entry);
}

void answer(Store& store, int device, const fuse_in_header& in, const char* body) {
    if (store.everyDelayMs > 0 && in.opcode != FUSE_INIT) ::usleep(static_cast<useconds_t>(store.everyDelayMs) * 1000);
    switch (in.opcode) {
    case FUSE_INIT: {
        fuse_init_in greeting;
        std::memcpy(&greeting, body, sizeof greeting);
        fuse_init_out init{};
        init.major = FUSE_KERNEL_VERSION;
        init.minor = greeting.minor < FUSE_KERNEL_MINOR_VERSION ? greeting.minor : FUSE_KERNEL_MINOR_VERSION;
        init.max_readahead = greeting.max_readahead;
        init.max_write = 64 * 1024;
        replyWith(device, in.unique, init);
        return;
    }
    case FUSE_LOOKUP:
        if (const Node* node = store.child(in.nodeid, body)) return replyEntry(device, in.unique, *node);
        reply(device, in.unique, ENOENT, nullptr, 0);
        return;
    case FUSE_GETATTR:
    case FUSE_SETATTR: {
        Node* node = store.nodeOf(in.nodeid);
        if (!node) return reply(device, in.unique, ENOENT, nullptr, 0);
        if (in.opcode == FUSE_SETATTR) {
            fuse_setattr_in change;
            std::memcpy(&change, body, sizeof change);
            if (change.valid & FATTR_MODE) node->mode = change.mode & 07777;
            if (change.valid & FATTR_SIZE) node->content.resize(change.size);
        }
        fuse_attr_out out{};
        fill(out.attr, *node);
        // The root's attributes are kept for a minute, as a network file system's are: a look at
        // the mount point is answered from that, the files below it only by the server.
        if (node->id == 1) out.attr_valid = 60;
        replyWith(device, in.unique, out);
        return;
    }
    case FUSE_CREATE: {
        fuse_create_in create;
        std::memcpy(&create, body, sizeof create);
        const char* name = body + sizeof create;
        if (store.child(in.nodeid, name)) return reply(device, in.unique, EEXIST, nullptr, 0);
        store.nodes.push_back({store.nextId++, in.nodeid, name, false, "", create.mode & 07777});
        struct {
            fuse_entry_out entry;
            fuse_open_out open;
        } out{};
        out.entry.nodeid = store.nodes.back().id;
        fill(out.entry.attr, store.nodes.back());
        out.open.open_flags = FOPEN_DIRECT_IO;
        replyWith(device, in.unique, out);
        return;
    }
    case FUSE_WRITE: {
        fuse_write_in write;
        std::memcpy(&write, body, sizeof write);
        Node* node = store.nodeOf(in.nodeid);
        if (!node || node->isFolder) return reply(device, in.unique, EIO, nullptr, 0);
        if (node->content.size() < write.offset + write.size) node->content.resize(write.offset + write.size);
        std::memcpy(node->content.data() + write.offset, body + sizeof write, write.size);
        store.stallAfter -= std::min<std::uint64_t>(store.stallAfter, write.size);
        if (store.writeDelayMs > 0) ::usleep(static_cast<useconds_t>(store.writeDelayMs) * 1000);
        fuse_write_out out{};
        out.size = write.size;
        replyWith(device, in.unique, out);
        return;
    }
    case FUSE_RENAME: {
        fuse_rename_in rename;
        std::memcpy(&rename, body, sizeof rename);
        const char* from = body + sizeof rename;
        const char* to = from + std::strlen(from) + 1;
        Node* node = store.child(in.nodeid, from);
        if (!node) return reply(device, in.unique, ENOENT, nullptr, 0);
        if (Node* replaced = store.child(rename.newdir, to)) replaced->parent = 0;
        node->parent = rename.newdir;
        node->name = to;
        if (store.killAtRename) {
            store.killAtRename = false;
            ::kill(static_cast<pid_t>(in.pid), SIGKILL);
        }
        reply(device, in.unique, 0, nullptr, 0);
        return;
    }
    case FUSE_UNLINK: {
        Node* node = store.child(in.nodeid, body);
        if (!node) return reply(device, in.unique, ENOENT, nullptr, 0);
        node->parent = 0;
        reply(device, in.unique, 0, nullptr, 0);
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
        const Node* node = store.nodeOf(in.nodeid);
        const std::string empty;
        const std::string& content = node ? node->content : empty;
        const std::size_t from = std::min<std::size_t>(read.offset, content.size());
        const std::size_t count = std::min<std::size_t>({read.size, content.size() - from, 8192});
        reply(device, in.unique, 0, content.data() + from, count);
        return;
    }
    case FUSE_READDIR: {
        fuse_read_in read;
        std::memcpy(&read, body, sizeof read);
        char listing[4096];
        std::size_t used = 0;
        std::uint64_t index = 0;
        for (const Node& node : store.nodes) {
            if (node.parent != in.nodeid) continue;
            if (++index <= read.offset) continue;
            const std::size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + node.name.size());
            if (used + size > read.size || used + size > sizeof listing) break;
            fuse_dirent entry{};
            entry.ino = node.id;
            entry.off = index;
            entry.namelen = static_cast<std::uint32_t>(node.name.size());
            entry.type = node.isFolder ? DT_DIR : DT_REG;
            std::memset(listing + used, 0, size);
            std::memcpy(listing + used, &entry, FUSE_NAME_OFFSET);
            std::memcpy(listing + used + FUSE_NAME_OFFSET, node.name.data(), node.name.size());
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
    case FUSE_FSYNC:
    case FUSE_ACCESS: reply(device, in.unique, 0, nullptr, 0); return;
    default: reply(device, in.unique, ENOSYS, nullptr, 0); return;
    }
}

// Serves every device, holding every request unanswered between `control`'s "s" (stall) and "r"
// (resume), and telling `control` the count held on "c"; "w" with a delay, "h" with a count of
// bytes, "k", and "n" with an opcode set and ask what the tests need. Runs in the forked server.
[[noreturn]] void serve(const std::vector<int>& devices, int control) {
    static char buffer[FUSE_MIN_READ_BUFFER + 128 * 1024];
    Store store;
    bool stalled = false;
    std::vector<std::pair<int, std::string>> held;
    std::vector<pollfd> watched;
    for (int device : devices) watched.push_back({device, POLLIN, 0});
    watched.push_back({control, POLLIN, 0});
    std::size_t open = devices.size();
    for (;;) {
        if (::poll(watched.data(), watched.size(), -1) < 0) continue;
        if (watched.back().revents) {
            char told[16] = {};
            const ssize_t length = ::read(control, told, sizeof told);
            if (length < 1) ::_exit(0);
            std::uint64_t argument = 0;
            std::memcpy(&argument, told + 1, std::min<std::size_t>(8, static_cast<std::size_t>(length - 1)));
            std::string answered = "k";
            if (told[0] == 's') stalled = true;
            if (told[0] == 'r') {
                stalled = false;
                for (auto& [device, request] : held) {
                    fuse_in_header in;
                    std::memcpy(&in, request.data(), sizeof in);
                    answer(store, device, in, request.data() + sizeof in);
                }
                held.clear();
            }
            if (told[0] == 'c') answered = std::to_string(held.size());
            if (told[0] == 'w') store.writeDelayMs = static_cast<int>(argument);
            if (told[0] == 'h') store.stallAfter = argument;
            if (told[0] == 'k') store.killAtRename = true;
            if (told[0] == 'e') store.everyDelayMs = static_cast<int>(argument);
            if (told[0] == 'g') {
                const std::uint64_t folders = argument & 0xffffffff, files = argument >> 32;
                for (std::uint64_t f = 0; f < folders; ++f) {
                    const std::uint64_t folder = store.nextId++;
                    store.nodes.push_back({folder, 1, "d" + std::to_string(f), true, "", 0755});
                    for (std::uint64_t i = 0; i < files; ++i)
                        store.nodes.push_back({store.nextId++, folder, "f" + std::to_string(i), false, std::string(1000, 'x'), 0644});
                }
            }
            if (told[0] == 'n') {
                answered = "0";
                for (const auto& [opcode, count] : store.counts)
                    if (opcode == argument) answered = std::to_string(count);
            }
            [[maybe_unused]] const ssize_t acknowledged = ::write(control, answered.data(), answered.size());
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
            store.count(in.opcode);
            buffer[got] = '\0';
            if (stalled && in.opcode != FUSE_INIT) {
                held.emplace_back(device, std::string(buffer, static_cast<std::size_t>(got) + 1));
                continue;
            }
            answer(store, device, in, buffer + sizeof in);
            if (store.stallAfter == 0) {
                stalled = true;
                store.stallAfter = ~std::uint64_t(0);
            }
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
std::string tell(int control, char what, std::uint64_t argument = 0) {
    char told[9];
    told[0] = what;
    std::memcpy(told + 1, &argument, sizeof argument);
    char answer[32];
    if (::write(control, told, sizeof told) != static_cast<ssize_t>(sizeof told)) return {};
    const ssize_t got = ::read(control, answer, sizeof answer);
    return got > 0 ? std::string(answer, static_cast<std::size_t>(got)) : std::string();
}

} // namespace

void StallingFuse::stall() { tell(m_control, 's'); }
void StallingFuse::resume() { tell(m_control, 'r'); }
int StallingFuse::heldRequests() { return std::atoi(tell(m_control, 'c').c_str()); }
void StallingFuse::delayWrites(int milliseconds) { tell(m_control, 'w', static_cast<std::uint64_t>(milliseconds)); }
void StallingFuse::stallAfterWriting(std::uint64_t bytes) { tell(m_control, 'h', bytes); }
void StallingFuse::killOnRename() { tell(m_control, 'k'); }
void StallingFuse::growTree(int folders, int filesEach) {
    tell(m_control, 'g', static_cast<std::uint64_t>(folders) | (static_cast<std::uint64_t>(filesEach) << 32));
}
void StallingFuse::delayEvery(int milliseconds) { tell(m_control, 'e', static_cast<std::uint64_t>(milliseconds)); }
void StallingFuse::stopReading() { ::kill(m_server, SIGSTOP); }
int StallingFuse::received(std::uint32_t opcode) { return std::atoi(tell(m_control, 'n', opcode).c_str()); }

StallingFuse::~StallingFuse() {
    if (m_server <= 0) return;
    ::kill(m_server, SIGKILL);
    ::waitpid(m_server, nullptr, 0);
    ::close(m_control);
    for (const std::string& mountPoint : m_mountPoints) ::umount2(mountPoint.c_str(), MNT_DETACH);
}

} // namespace tallymere::test
