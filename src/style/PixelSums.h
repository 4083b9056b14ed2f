#pragma once
#include <cstdint>

namespace tallymere {

// Each channel of the premultiplied pixel `d` times `keep` (0...255) over 255, rounded the
// painter's way, two channels per multiply. Pixels laid with these sums match the painter's own
// to the level, so a picture copied by hand and one painted directly cannot be told apart.
inline std::uint32_t scaledPixel(std::uint32_t d, std::uint32_t keep) {
    std::uint32_t rb = (d & 0x00ff00ffu) * keep;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu) + 0x00800080u) >> 8) & 0x00ff00ffu;
    std::uint32_t ag = ((d >> 8) & 0x00ff00ffu) * keep;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu) + 0x00800080u) & 0xff00ff00u;
    return rb | ag;
}

// The painter's source-over of the premultiplied pixel `s` onto `d`.
inline std::uint32_t sourceOverPixel(std::uint32_t s, std::uint32_t d) { return s + scaledPixel(d, 255u - (s >> 24)); }

} // namespace tallymere
