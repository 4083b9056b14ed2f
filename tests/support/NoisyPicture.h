// Shared by the tests that compare kept pixels with the painter's own: a seeded generator and a
// picture of nearly all different colours to blend over.
#pragma once
#include <QImage>

#include <cstdint>

namespace tallymere::test {

inline std::uint64_t nextRandom(std::uint64_t& seed) {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    return seed;
}

inline double uniform(std::uint64_t& seed, double from, double to) {
    return from + (to - from) * double(nextRandom(seed) % 1'000'000) / 1'000'000.0;
}

// An opaque picture with a different colour at nearly every pixel, so a blend that differs
// anywhere shows.
inline QImage noisyPicture(int width, int height, qreal ratio, std::uint64_t seed) {
    QImage image(int(width * ratio), int(height * ratio), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const std::uint64_t r = nextRandom(seed);
            image.setPixel(x, y, qRgb(int(r & 255), int(r >> 8 & 255), int(r >> 16 & 255)));
        }
    image.setDevicePixelRatio(ratio);
    return image;
}

} // namespace tallymere::test
