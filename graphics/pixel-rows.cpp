#include "graphics/pixel-rows.h"

#include <cstring>

namespace kra::rows {
namespace {

// The layout's shift and mask as constants, so that the loops below compile
// to straight vector code for each layout.
template <uint32_t S, uint32_t M>
struct Spread {
    static inline uint32_t Out(uint16_t p) { return (uint32_t(p) | (uint32_t(p) << S)) & M; }
    static inline uint16_t In(uint32_t r) {
        r &= M;
        return uint16_t(r | (r >> S));
    }
    static inline uint16_t Mix(uint16_t d, uint16_t s, uint32_t a) {
        uint32_t e = Out(d);
        return In(e + (((Out(s) - e) * a) >> 5));
    }
};
using S565 = Spread<16, 0x07E0F81Fu>;
using S555 = Spread<15, 0x01F07C1Fu>;

// The 32-bit multiply of the spread trick has no SSE2 instruction; an AVX2
// clone of each loop is chosen at load time where the processor has it.
// ThreadSanitizer's runtime cannot resolve the load-time clones.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define KRA_PIXEL_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define KRA_PIXEL_LOOP
#endif

template <class L>
KRA_PIXEL_LOOP void BlendT(uint16_t* __restrict dst, const uint16_t* __restrict src, size_t n,
                           uint32_t a) {
    for (size_t i = 0; i < n; ++i) dst[i] = L::Mix(dst[i], src[i], a);
}

template <class L>
KRA_PIXEL_LOOP void KeyedBlendT(uint16_t* __restrict dst, const uint16_t* __restrict src, size_t n,
                                uint16_t key, uint32_t a) {
    for (size_t i = 0; i < n; ++i) {
        uint16_t s = src[i], d = dst[i];
        uint16_t m = L::Mix(d, s, a);
        dst[i] = s == key ? d : m;
    }
}

template <class L>
KRA_PIXEL_LOOP void PerPixelT(uint16_t* __restrict dst, const uint16_t* __restrict src,
                              const uint8_t* __restrict srcAlpha, size_t n, uint32_t g) {
    for (size_t i = 0; i < n; ++i) {
        uint16_t s = src[i], d = dst[i];
        uint32_t a = (uint32_t(srcAlpha[i]) * g) >> 5;
        uint16_t m = L::Mix(d, s, a);
        m = a >= 32 ? s : m;
        dst[i] = a == 0 ? d : m;
    }
}

template <class L>
KRA_PIXEL_LOOP void PerPixelKeyedT(uint16_t* __restrict dst, const uint16_t* __restrict src,
                                   const uint8_t* __restrict srcAlpha, size_t n, uint32_t g,
                                   uint16_t key) {
    for (size_t i = 0; i < n; ++i) {
        uint16_t s = src[i], d = dst[i];
        uint32_t a = (uint32_t(srcAlpha[i]) * g) >> 5;
        uint16_t m = L::Mix(d, s, a);
        m = a >= 32 ? s : m;
        dst[i] = (a == 0 || s == key) ? d : m;
    }
}

template <class L>
KRA_PIXEL_LOOP void FillBlendT(uint16_t* __restrict dst, size_t n, uint16_t colour, uint32_t a) {
    // The source is constant: f * a is formed once.
    for (size_t i = 0; i < n; ++i) dst[i] = L::Mix(dst[i], colour, a);
}

template <class L>
KRA_PIXEL_LOOP void DimT(uint16_t* dst, const uint16_t* src, size_t n, uint32_t level) {
    for (size_t i = 0; i < n; ++i) dst[i] = L::In((L::Out(src[i]) * level) >> 5);
}

}  // namespace

void Copy(uint16_t* dst, const uint16_t* src, size_t n) {
    std::memmove(dst, src, n * sizeof(uint16_t));
}

void Blend(const PixelLayout& layout, uint16_t* dst, const uint16_t* src, size_t n, uint32_t a) {
    if (a == 0) return;
    if (a >= 32) return Copy(dst, src, n);
    if (Is565(layout)) return BlendT<S565>(dst, src, n, a);
    BlendT<S555>(dst, src, n, a);
}

void Keyed(uint16_t* __restrict dst, const uint16_t* __restrict src, size_t n, uint16_t key) {
    for (size_t i = 0; i < n; ++i) {
        uint16_t s = src[i];
        dst[i] = s == key ? dst[i] : s;
    }
}

void KeyedBlend(const PixelLayout& layout, uint16_t* dst, const uint16_t* src, size_t n,
                uint16_t key, uint32_t a) {
    if (a == 0) return;
    if (a >= 32) return Keyed(dst, src, n, key);
    if (Is565(layout)) return KeyedBlendT<S565>(dst, src, n, key, a);
    KeyedBlendT<S555>(dst, src, n, key, a);
}

void PerPixel(const PixelLayout& layout, uint16_t* dst, const uint16_t* src,
              const uint8_t* srcAlpha, size_t n, uint32_t globalAlpha, bool keyed, uint16_t key) {
    if (globalAlpha == 0) return;
    if (globalAlpha > 32) globalAlpha = 32;
    if (Is565(layout)) {
        if (keyed) return PerPixelKeyedT<S565>(dst, src, srcAlpha, n, globalAlpha, key);
        return PerPixelT<S565>(dst, src, srcAlpha, n, globalAlpha);
    }
    if (keyed) return PerPixelKeyedT<S555>(dst, src, srcAlpha, n, globalAlpha, key);
    PerPixelT<S555>(dst, src, srcAlpha, n, globalAlpha);
}

void Fill(uint16_t* dst, size_t n, uint16_t colour) {
    for (size_t i = 0; i < n; ++i) dst[i] = colour;
}

void FillBlend(const PixelLayout& layout, uint16_t* dst, size_t n, uint16_t colour, uint32_t a) {
    if (a == 0) return;
    if (a >= 32) return Fill(dst, n, colour);
    if (Is565(layout)) return FillBlendT<S565>(dst, n, colour, a);
    FillBlendT<S555>(dst, n, colour, a);
}

void Dim(const PixelLayout& layout, uint16_t* dst, const uint16_t* src, size_t n, uint32_t level) {
    if (level >= 32) {
        if (dst != src) Copy(dst, src, n);
        return;
    }
    if (Is565(layout)) return DimT<S565>(dst, src, n, level);
    DimT<S555>(dst, src, n, level);
}

}  // namespace kra::rows
