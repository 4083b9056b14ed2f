#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tallymere::RegularFile {

// Opens the regular file at `path` (following links, as opening a file does) for reading, never
// opening anything else: the name is first held without being opened for reading (a hold reads
// nothing and opens no device), and only what the hold shows to be a regular file is opened,
// through the hold. A name swapped meanwhile for a pipe, a device or a link to one is never opened
// for reading: merely opening them acts on them (a writer waiting on a pipe goes on, a watchdog
// starts, a tape rewinds), and a pipe would hold the reader until a writer came. The descriptor
// does not block. -1 when it is not a regular file or cannot be opened (also where the process's
// descriptor folder, /proc/self/fd, is not mounted).
int openForReading(const std::string& path);

// The whole content of the regular file at `path`, opened as above; none when it is not a regular
// file, cannot be read, or holds more than `limit` bytes.
std::optional<std::string> read(const std::string& path, std::size_t limit);

// Writes every byte to `fd`, again after an interruption or a short write; false with errno set
// when a write fails.
bool writeAll(int fd, std::string_view bytes);

} // namespace tallymere::RegularFile
