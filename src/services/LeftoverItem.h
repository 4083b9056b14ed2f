#pragma once
#include "base/Uuid.h"

#include <cstdint>
#include <string>

namespace tallymere {

// A support file or folder an application keeps in the user's folders. Identified by `id`, made
// fresh for every item found, so ids differ from one discovery to the next.
struct LeftoverItem {
    Uuid id = Uuid::random();
    std::string path;      // raw bytes
    std::int64_t size = 0; // a folder's bytes on disk, a file's length
    std::string kind;      // where it was found: "Cache", "Preferences", ...
    friend bool operator==(const LeftoverItem&, const LeftoverItem&) = default;
};

} // namespace tallymere
