// Feeds arbitrary bytes to the snapshot file reader. Whatever it accepts must encode and read back
// to the same snapshot, since every saved file has to load again. The date alone may move by a
// rounding step: the file counts from 2001, memory from 1970, and far from today the shift between
// the two is not exact.
#include "services/SnapshotCodec.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tallymere;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto snapshot = SnapshotCodec::decode(bytes);
    if (!snapshot) return 0;
    auto again = SnapshotCodec::decode(SnapshotCodec::encode(*snapshot));
    if (!again) std::abort();
    const double drift = std::abs(again->createdAt - snapshot->createdAt);
    if (drift > 1e-6 + 1e-15 * std::abs(snapshot->createdAt)) std::abort();
    again->createdAt = snapshot->createdAt;
    if (!(*again == *snapshot)) std::abort();
    return 0;
}
