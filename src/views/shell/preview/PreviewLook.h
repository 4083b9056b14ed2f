#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tallymere {

// What the preview learns of one item before it shows it. Every look is made through the path
// gate, so an item on a mount that stopped answering costs at most the gate's bound, and only the
// thread that looks: the window asks for it from another thread.
struct PreviewLook {
    enum class Kind : std::uint8_t {
        unanswered, // its file system does not answer
        missing,    // gone, or out of reach: only its name is known
        special,    // neither a file nor a folder (a pipe, a device, a link leading nowhere): see `mode`
        folder,
        file, // a regular file, links followed
    };
    Kind kind = Kind::missing;
    mode_t mode = 0;
    std::int64_t size = 0;
    // A file whose first bytes could be read; of those, whether they begin as a picture does, and
    // the text they make when they are text (valid UTF-8 without NUL, a character cut at the limit
    // dropped).
    bool isRead = false;
    bool isPicture = false;
    std::optional<std::string> text;
};

// Looks at the item at `path` (a link is followed, and described itself when it leads nowhere):
// only a regular file is opened for reading, and only its first `textLimit` bytes are kept.
// Blocks for at most the gate's bound, and on a local disk for as long as the disk takes.
PreviewLook lookAt(const std::string& path, std::int64_t textLimit);

} // namespace tallymere
