#include "views/components/canvas/TileRaster.h"

#include "views/components/canvas/PixelBlend.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace tallymere {

using namespace pixelblend;

SolidTint::SolidTint(const QColor& color) {
    const Premultiplied c = premultiply(color);
    m_pixel = packed(c.a, c.r, c.g, c.b);
    m_keep = 255u - (m_pixel >> 24);
}

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// A channel in each 16-bit lane times `keep`, rounded as blendPixels() rounds it.
__attribute__((target("avx2"))) inline __m256i scaledWide(__m256i d16, __m256i keep16) {
    const __m256i x = _mm256_mullo_epi16(d16, keep16);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), _mm256_set1_epi16(0x80)), 8);
}

// blendPixels() eight pixels at a time, where the processor has AVX2: the same sums in each 16-bit
// lane (the halves of a register are unpacked and packed again each within itself, so every pixel
// keeps its place), for a mark that blends millions of pixels on every hover.
__attribute__((target("avx2"))) void blendPixelsWide(std::uint32_t* to, const std::uint32_t* from, int count,
                                                     std::uint32_t pixel, std::uint32_t keep) {
    int i = 0;
    const __m256i zero = _mm256_setzero_si256(), keep16 = _mm256_set1_epi16(short(keep)),
                  colour = _mm256_set1_epi32(int(pixel));
    for (; i + 8 <= count; i += 8) {
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i kept = _mm256_packus_epi16(scaledWide(_mm256_unpacklo_epi8(d, zero), keep16),
                                                 scaledWide(_mm256_unpackhi_epi8(d, zero), keep16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), _mm256_add_epi8(kept, colour));
    }
    blendPixels(to + i, from + i, count - i, pixel, keep);
}

const bool hasWideBlend = __builtin_cpu_supports("avx2");

} // namespace
#endif

void SolidTint::over(std::uint32_t* to, const std::uint32_t* from, int count) const {
#if defined(__x86_64__) && defined(__GNUC__)
    if (hasWideBlend) {
        blendPixelsWide(to, from, count, m_pixel, m_keep);
        return;
    }
#endif
    blendPixels(to, from, count, m_pixel, m_keep);
}

} // namespace tallymere
