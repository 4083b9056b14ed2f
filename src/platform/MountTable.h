#pragma once
#include "platform/OwnedFd.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere {

// One line of the kernel's mount table (/proc/self/mountinfo), with the octal escapes of paths
// ("\040" for a space) decoded.
struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;       // the part of the file system mounted here ("/" for all of it)
    std::string mountPoint; // raw bytes
    std::string fsType;
    std::string source;
    friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

namespace MountTable {

// Parses mountinfo text. A malformed line is skipped.
std::vector<MountEntry> parse(std::string_view text);

// Reads and parses a mountinfo file; an unreadable file gives an empty table.
std::vector<MountEntry> read(const std::string& path = "/proc/self/mountinfo");

// The process's mount table as it is now, read again only when the kernel says it changed (or in a
// child forked since, or after a move to another mount namespace): a call costs three system calls
// while nothing was mounted, where reading the table costs a parse of every line, and a machine may list
// thousands. Empty when the table cannot be read. Any thread.
std::shared_ptr<const std::vector<MountEntry>> current();

// A descriptor of the process's mount table for an event loop to watch: a poll of it reports POLLPRI
// once for each time anything was mounted or unmounted in its namespace since its last poll (or its
// opening). Empty where the table cannot be opened.
OwnedFd watch();

// The first mount point of the current() table that is the physical path `path` or lies below it
// (a "/" boundary: "/a/bc" is not below "/a/b"), by text, the first in byte order of those below;
// empty when none. The table's mount points are sorted once for each table current() gives, so a
// call while nothing was mounted costs current()'s three system calls and a search. Any thread.
std::string mountPointAtOrBelow(std::string_view path);

// Kernel pseudo file systems, network file systems and FUSE file systems that reach a server:
// never descended into, never listed as volumes. Local FUSE file systems are not among them. An overlay counts as a container's file system; callers keep the scan root's own device.
bool isVirtualOrNetwork(std::string_view fsType);

// Whether a call on this file system may wait for ever on a server: FUSE (also a local disk through
// FUSE, whose server can stop like any other), network and cluster file systems, the automounter,
// and any type not known to answer as long as the system does.
bool mayNotAnswer(std::string_view fsType);

// The device number (as st_dev holds it) of a mount entry.
std::uint64_t deviceOf(const MountEntry& entry);

// Decodes the octal escapes mountinfo uses for space, tab, newline and backslash.
std::string decodeEscapes(std::string_view field);

} // namespace MountTable

} // namespace tallymere
