#include "layout/ChildOrder.h"

#include <array>

namespace tallymere::ChildOrder {
namespace {

// Below this a comparison sort is quicker than counting digits.
constexpr std::size_t radixThreshold = 512;
constexpr int digitBits = 11;
constexpr std::uint64_t digitMask = (1u << digitBits) - 1;

// Ascending order of this value is descending order of the key, for every 64-bit key: flipping the
// sign bit orders signed keys as unsigned ones, and the complement reverses that order.
std::uint64_t descendingRank(std::int64_t key) {
    constexpr std::uint64_t signBit = std::uint64_t{1} << 63;
    return ~(static_cast<std::uint64_t>(key) ^ signBit);
}

} // namespace

void sortLargestFirst(std::vector<KeyedChild>& children) {
    if (children.size() < radixThreshold) {
        std::stable_sort(children.begin(), children.end(),
                         [](const KeyedChild& a, const KeyedChild& b) { return a.key > b.key; });
        return;
    }
    // Least significant digit first; each pass is stable, so the whole sort is, and passes over a
    // digit that every rank shares are skipped.
    std::uint64_t differing = 0;
    const std::uint64_t first = descendingRank(children.front().key);
    for (const KeyedChild& child : children) differing |= descendingRank(child.key) ^ first;

    std::vector<KeyedChild> buffer(children.size());
    for (int shift = 0; shift < 64; shift += digitBits) {
        if (((differing >> shift) & digitMask) == 0) continue;
        std::array<std::size_t, digitMask + 2> start{};
        for (const KeyedChild& child : children) ++start[((descendingRank(child.key) >> shift) & digitMask) + 1];
        for (std::size_t digit = 1; digit < start.size(); ++digit) start[digit] += start[digit - 1];
        for (const KeyedChild& child : children) buffer[start[(descendingRank(child.key) >> shift) & digitMask]++] = child;
        children.swap(buffer);
    }
}

} // namespace tallymere::ChildOrder
