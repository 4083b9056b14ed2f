#pragma once
#include "views/components/canvas/TileRaster.h"

#include <QColor>

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The pixel sums shared by the rasters that write premultiplied ARGB32 pixels themselves.
namespace tallymere::pixelblend {

// A colour as premultiplied channels 0...255 in floating point.
struct Premultiplied {
    float a, r, g, b;
};

// Eight bits a channel, as the picture holds them: one call rather than a conversion per channel.
inline Premultiplied premultiply(const QColor& color) {
    const QRgb c = color.rgba();
    const float a = float(qAlpha(c)) / 255.0f;
    return {float(qAlpha(c)), float(qRed(c)) * a, float(qGreen(c)) * a, float(qBlue(c)) * a};
}

// Whole numbers below and above a value, without the library's call (the build targets processors
// without a rounding instruction); values stay far within the int range here.
inline int floorInt(double v) {
    const int i = int(v);
    return i - (v < double(i) ? 1 : 0);
}
inline int ceilInt(double v) {
    const int i = int(v);
    return i + (v > double(i) ? 1 : 0);
}

// Copies `count` pixels, four at a time: the runs are short, and a call to memcpy per row costs as
// much as the copy.
inline void copyPixels(std::uint32_t* to, const std::uint32_t* from, int count) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
#endif
    for (; i < count; ++i) to[i] = from[i];
}

// Source-over of `src` at `coverage` onto one premultiplied pixel.
inline std::uint32_t blend(std::uint32_t dst, const Premultiplied& src, float coverage) {
    const float sa = src.a * coverage;
    if (sa >= 254.5f) return 0xff000000u | (std::uint32_t(src.r + 0.5f) << 16) | (std::uint32_t(src.g + 0.5f) << 8) |
                             std::uint32_t(src.b + 0.5f);
    const float keep = 1.0f - sa / 255.0f;
    const float da = float(dst >> 24), dr = float((dst >> 16) & 0xff), dg = float((dst >> 8) & 0xff),
                db = float(dst & 0xff);
    auto channel = [](float v) { return std::uint32_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    return (channel(sa + da * keep) << 24) | (channel(src.r * coverage + dr * keep) << 16) |
           (channel(src.g * coverage + dg * keep) << 8) | channel(src.b * coverage + db * keep);
}

// Source-over of one colour at full coverage, in integers two channels per multiply: `pixel` is the
// colour premultiplied and rounded, `keep` 255 less its alpha. Reads `from` and writes `to`, which
// may be the same pixels.
inline void blendPixels(std::uint32_t* to, const std::uint32_t* from, int count, std::uint32_t pixel,
                        std::uint32_t keep) {
    int i = 0;
#if defined(__SSE2__)
    // The same sums four pixels at a time, a channel in each 16-bit lane: a channel times `keep`
    // stays within 16 bits, and no channel's sum carries into the next.
    const __m128i zero = _mm_setzero_si128(), keep16 = _mm_set1_epi16(short(keep)), round = _mm_set1_epi16(0x80);
    const __m128i colour = _mm_set1_epi32(int(pixel));
    auto scaled = [&](__m128i d16) __attribute__((always_inline)) {
        const __m128i x = _mm_mullo_epi16(d16, keep16);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), round), 8);
    };
    for (; i + 4 <= count; i += 4) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const __m128i kept = _mm_packus_epi16(scaled(_mm_unpacklo_epi8(d, zero)), scaled(_mm_unpackhi_epi8(d, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_add_epi8(kept, colour));
    }
#endif
    for (; i < count; ++i) to[i] = pixel + scaledPixel(from[i], keep);
}

// An opaque pixel laid over `dst` at `coverage` (0...1), in integers two channels per multiply:
// the shape's edge pixels are a large share of a picture of small tiles, and the same mix in
// floating point costs several times as much.
inline std::uint32_t mixOpaque(std::uint32_t src, std::uint32_t dst, float coverage) {
    const std::uint32_t c = std::uint32_t(coverage * 256.0f + 0.5f), k = 256u - c;
    const std::uint32_t rb = (((src & 0x00ff00ffu) * c + (dst & 0x00ff00ffu) * k) >> 8) & 0x00ff00ffu;
    const std::uint32_t ag = (((src >> 8) & 0x00ff00ffu) * c + ((dst >> 8) & 0x00ff00ffu) * k) & 0xff00ff00u;
    return rb | ag;
}

inline std::uint32_t packed(float a, float r, float g, float b) {
    auto byte = [](float v) { return std::uint32_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    return (byte(a) << 24) | (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

} // namespace tallymere::pixelblend
