#pragma once
#include <cstdint>
#include <limits>

namespace tallymere {

// a + b held within the range of a 64-bit size: sparse files can claim up to 2^63 - 1 bytes each,
// and two of them must not add up to a negative total.
constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// A count held within 32 bits.
constexpr std::int32_t saturatingCount(std::int64_t n) {
    if (n > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (n < 0) return 0;
    return static_cast<std::int32_t>(n);
}

} // namespace tallymere
