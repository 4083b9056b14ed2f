#pragma once
#include "platform/gate/GateWire.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A folder read for a scan, the same in this process and in a helper: its entries listed and each
// looked at, packed into a reply's data, in parts as they are read.
namespace tallymere::PathGate {
struct FolderEntry;
}

namespace tallymere::gate {

// Sends one part of a long answer (its partial flag set) as soon as it is made; false when it
// could not be sent.
using SendPart = std::function<bool(Reply& part)>;

// The request's flags.
constexpr std::uint64_t withHidden = 1;

// The entries of the folder open for reading at `fd` (which it closes). With `send`, the entries
// go out in parts as they are read, and the reply returned is the last part.
Reply readFolderAt(int fd, std::uint64_t flags, const SendPart* send);

// The folder at `path` opened for reading, no link on the way or at its end followed; -1 and errno.
int openFolderPlainly(const std::string& path);

// The entries packed in a reply's data; false when the data is no list of them.
bool unpackEntries(const std::string& data, std::vector<PathGate::FolderEntry>& entries);

} // namespace tallymere::gate
