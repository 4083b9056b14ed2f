#pragma once
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tallymere {

// A 128-bit identity: snapshots, preset hits, banners.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A fresh random (version 4) identity.
    static Uuid random();
    // Canonical text: 36 characters, upper-case hexadecimal, hyphens after 8, 12, 16 and 20 digits.
    // Either case is accepted; anything else gives none.
    static std::optional<Uuid> parse(std::string_view text);
    std::string text() const;

    friend auto operator<=>(const Uuid&, const Uuid&) = default;
    friend bool operator==(const Uuid&, const Uuid&) = default;
};

} // namespace tallymere

template <>
struct std::hash<tallymere::Uuid> {
    std::size_t operator()(const tallymere::Uuid& id) const noexcept {
        std::size_t h = 1469598103934665603ull;
        for (auto b : id.bytes) h = (h ^ b) * 1099511628211ull;
        return h;
    }
};
