// Feeds arbitrary bytes to the snapshot file reader. Whatever it accepts must encode and read back
// to the same snapshot, since every saved file has to load again.
#include "services/SnapshotCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tallymere;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto snapshot = SnapshotCodec::decode(bytes);
    if (!snapshot) return 0;
    const auto again = SnapshotCodec::decode(SnapshotCodec::encode(*snapshot));
    if (!again || !(*again == *snapshot)) std::abort();
    return 0;
}
