#include "graphics/resample.h"

#include <algorithm>
#include <vector>

namespace kra {
namespace {

// Vector 32-bit multiplies need more than SSE2: an AVX2 clone is chosen at load
// time where the processor has it.
// ThreadSanitizer's runtime cannot resolve the load-time clones.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define KRA_PIXEL_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define KRA_PIXEL_LOOP
#endif

constexpr uint32_t kWeightBits = 14;
constexpr uint32_t kWeightOne = 1u << kWeightBits;

// The source samples and weights (in 1/16384 parts) of each output sample.
struct Taps {
    std::vector<uint32_t> first, count, offset;
    std::vector<uint16_t> weight;
};

Taps MakeTaps(uint32_t from, uint32_t to) {
    Taps t;
    t.first.resize(to), t.count.resize(to), t.offset.resize(to);
    for (uint32_t x = 0; x < to; ++x) {
        t.offset[x] = uint32_t(t.weight.size());
        if (to <= from) {
            // Output x covers [x * from, (x + 1) * from) in units of 1/to source pixels.
            const uint64_t lo = uint64_t(x) * from, hi = uint64_t(x + 1) * from;
            const uint32_t i0 = uint32_t(lo / to), i1 = uint32_t((hi - 1) / to);
            t.first[x] = i0;
            t.count[x] = i1 - i0 + 1;
            uint32_t sum = 0, largest = 0, largestAt = uint32_t(t.weight.size());
            for (uint32_t i = i0; i <= i1; ++i) {
                const uint64_t a = std::max<uint64_t>(lo, uint64_t(i) * to);
                const uint64_t b = std::min<uint64_t>(hi, uint64_t(i + 1) * to);
                const uint32_t w = uint32_t(((b - a) * kWeightOne) / from);
                if (w > largest) largest = w, largestAt = uint32_t(t.weight.size());
                t.weight.push_back(uint16_t(w));
                sum += w;
            }
            t.weight[largestAt] = uint16_t(t.weight[largestAt] + (kWeightOne - sum));
        } else {
            // Centres aligned: source position (x + 0.5) * from / to - 0.5.
            const int64_t num = int64_t(2 * x + 1) * from - to, den = int64_t(2) * to;
            uint32_t i0 = 0, frac = 0;
            if (num > 0) {
                i0 = uint32_t(num / den);
                frac = uint32_t(((num - int64_t(i0) * den) * kWeightOne) / den);
            }
            if (i0 >= from - 1) i0 = from - 1, frac = 0;
            t.first[x] = i0;
            t.count[x] = frac == 0 ? 1 : 2;
            if (frac == 0) {
                t.weight.push_back(uint16_t(kWeightOne));
            } else {
                t.weight.push_back(uint16_t(kWeightOne - frac));
                t.weight.push_back(uint16_t(frac));
            }
        }
    }
    return t;
}

}  // namespace

KRA_PIXEL_LOOP void ResampleImage(const platform::ImagePixels& in, uint32_t w, uint32_t h,
                                  platform::ImagePixels& out) {
    const Taps tx = MakeTaps(in.width, w), ty = MakeTaps(in.height, h);
    // Horizontal pass into w x in.height (kept per thread: decoding runs on
    // the main thread and on the art workers), then vertical into w x h.
    thread_local std::vector<uint8_t> mid;
    thread_local std::vector<uint32_t> acc;
    mid.resize(size_t(w) * in.height * 4);
    // Every output sample gets the same number of taps (zero weights pad the
    // short ones), so the inner loop has a fixed shape and the four channels
    // move together in one vector.
    uint32_t taps = 1;
    for (uint32_t x = 0; x < w; ++x) taps = std::max(taps, tx.count[x]);
    thread_local std::vector<uint32_t> index;
    thread_local std::vector<uint32_t> weight;
    index.assign(size_t(w) * taps, 0);
    weight.assign(size_t(w) * taps, 0);
    for (uint32_t x = 0; x < w; ++x)
        for (uint32_t k = 0; k < taps; ++k) {
            const bool real = k < tx.count[x];
            index[size_t(x) * taps + k] = (real ? tx.first[x] + k : tx.first[x]) * 4;
            weight[size_t(x) * taps + k] = real ? tx.weight[tx.offset[x] + k] : 0;
        }
    using V4 = uint32_t __attribute__((vector_size(16)));
    for (uint32_t y = 0; y < in.height; ++y) {
        const uint8_t* s = in.bgra.data() + size_t(y) * in.width * 4;
        uint8_t* d = mid.data() + size_t(y) * w * 4;
        const uint32_t* idx = index.data();
        const uint32_t* wt = weight.data();
        for (uint32_t x = 0; x < w; ++x, idx += taps, wt += taps, d += 4) {
            V4 sum = {kWeightOne / 2, kWeightOne / 2, kWeightOne / 2, kWeightOne / 2};
            for (uint32_t k = 0; k < taps; ++k) {
                const uint8_t* p = s + idx[k];
                const V4 px = {p[0], p[1], p[2], p[3]};
                sum += px * wt[k];
            }
            sum >>= kWeightBits;
            d[0] = uint8_t(sum[0]), d[1] = uint8_t(sum[1]), d[2] = uint8_t(sum[2]),
            d[3] = uint8_t(sum[3]);
        }
    }
    out.width = w;
    out.height = h;
    out.bgra.resize(size_t(w) * h * 4);
    const size_t rowBytes = size_t(w) * 4;
    acc.resize(rowBytes);
    for (uint32_t y = 0; y < h; ++y) {
        uint32_t* __restrict sum = acc.data();
        std::fill(sum, sum + rowBytes, kWeightOne / 2);
        const uint16_t* wt = ty.weight.data() + ty.offset[y];
        for (uint32_t k = 0; k < ty.count[y]; ++k) {
            const uint8_t* __restrict s = mid.data() + size_t(ty.first[y] + k) * rowBytes;
            const uint32_t weight = wt[k];
            for (size_t i = 0; i < rowBytes; ++i) sum[i] += s[i] * weight;
        }
        uint8_t* __restrict d = out.bgra.data() + size_t(y) * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i) d[i] = uint8_t(sum[i] >> kWeightBits);
    }
}

void ConvertImage(const platform::ImagePixels& img, const PixelLayout& layout, bool withAlpha,
                  bool overBlack, Surface& surface) {
    const size_t n = size_t(img.width) * img.height;
    const uint8_t* __restrict s = img.bgra.data();
    uint16_t* __restrict d = surface.pixels;
    const uint32_t rs = layout.redShift, gd = layout.greenDrop;
    if (overBlack) {
        for (size_t i = 0; i < n; ++i) {
            const uint32_t a = s[i * 4 + 3];
            const uint32_t b = s[i * 4] * a / 255, g = s[i * 4 + 1] * a / 255,
                           r = s[i * 4 + 2] * a / 255;
            d[i] = uint16_t(((g >> gd) << 5) | ((r >> 3) << rs) | (b >> 3));
        }
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        const uint32_t b = s[i * 4], g = s[i * 4 + 1], r = s[i * 4 + 2];
        d[i] = uint16_t(((g >> gd) << 5) | ((r >> 3) << rs) | (b >> 3));
    }
    if (withAlpha) {
        uint8_t* __restrict alpha = surface.alpha;
        for (size_t i = 0; i < n; ++i) alpha[i] = uint8_t((uint32_t(s[i * 4 + 3]) + 1) >> 3);
    }
}

}  // namespace kra
