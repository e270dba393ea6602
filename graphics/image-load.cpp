#include <algorithm>
#include <cstring>
#include <vector>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "graphics/image.h"
#include "platform/files.h"
#include "platform/image-decode.h"

namespace kra {
namespace {

// Files larger than this are not pictures we show.
constexpr uint64_t kMaxImageFileBytes = 64ull * 1024 * 1024;

uint32_t RoundDiv(uint64_t n, uint64_t d) {
    return d == 0 ? 0 : uint32_t((2 * n + d) / (2 * d));
}

bool EndsWithPng(const std::u16string& path) {
    if (path.size() < 4) return false;
    std::u16string tail = path.substr(path.size() - 4);
    for (char16_t& c : tail) c = FoldUnit(c);
    return tail == u".png";
}

// ---- Averaging resampler on B, G, R, A pixels ----

// Weights of one output sample, in 1/16384 parts.
struct Taps {
    std::vector<uint32_t> first, count;
    std::vector<uint16_t> weight;  // count[i] weights from offset[i]
    std::vector<uint32_t> offset;
};

constexpr uint32_t kWeightBits = 14;
constexpr uint32_t kWeightOne = 1u << kWeightBits;

// Reducing: each output sample averages the source interval it covers, with
// fractional edges. Enlarging: linear interpolation between the two nearest
// source samples (centres aligned).
Taps MakeTaps(uint32_t from, uint32_t to) {
    Taps t;
    t.first.resize(to), t.count.resize(to), t.offset.resize(to);
    for (uint32_t x = 0; x < to; ++x) {
        t.offset[x] = uint32_t(t.weight.size());
        if (to <= from) {
            // Interval [x * from, (x + 1) * from) in units of 1/to source pixels.
            uint64_t lo = uint64_t(x) * from, hi = uint64_t(x + 1) * from;
            uint32_t i0 = uint32_t(lo / to), i1 = uint32_t((hi - 1) / to);
            t.first[x] = i0;
            t.count[x] = i1 - i0 + 1;
            uint32_t sum = 0, largest = 0, largestAt = 0;
            for (uint32_t i = i0; i <= i1; ++i) {
                uint64_t a = std::max<uint64_t>(lo, uint64_t(i) * to);
                uint64_t b = std::min<uint64_t>(hi, uint64_t(i + 1) * to);
                uint32_t w = uint32_t(((b - a) * kWeightOne) / from);
                if (w > largest) largest = w, largestAt = uint32_t(t.weight.size());
                t.weight.push_back(uint16_t(w));
                sum += w;
            }
            t.weight[largestAt] = uint16_t(t.weight[largestAt] + (kWeightOne - sum));
        } else {
            int64_t num = int64_t(2 * x + 1) * from - to, den = int64_t(2) * to;
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

void Resample(const platform::ImagePixels& in, uint32_t w, uint32_t h, platform::ImagePixels& out) {
    const Taps tx = MakeTaps(in.width, w), ty = MakeTaps(in.height, h);
    // Horizontal pass into w x in.height, then vertical into w x h.
    std::vector<uint8_t> mid(size_t(w) * in.height * 4);
    for (uint32_t y = 0; y < in.height; ++y) {
        const uint8_t* s = in.bgra.data() + size_t(y) * in.width * 4;
        uint8_t* d = mid.data() + size_t(y) * w * 4;
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t acc[4] = {kWeightOne / 2, kWeightOne / 2, kWeightOne / 2, kWeightOne / 2};
            const uint8_t* p = s + size_t(tx.first[x]) * 4;
            const uint16_t* wt = tx.weight.data() + tx.offset[x];
            for (uint32_t k = 0; k < tx.count[x]; ++k, p += 4)
                for (int c = 0; c < 4; ++c) acc[c] += p[c] * uint32_t(wt[k]);
            for (int c = 0; c < 4; ++c) d[x * 4 + c] = uint8_t(acc[c] >> kWeightBits);
        }
    }
    out.width = w;
    out.height = h;
    out.bgra.assign(size_t(w) * h * 4, 0);
    std::vector<uint32_t> acc(size_t(w) * 4);
    for (uint32_t y = 0; y < h; ++y) {
        std::fill(acc.begin(), acc.end(), kWeightOne / 2);
        const uint16_t* wt = ty.weight.data() + ty.offset[y];
        for (uint32_t k = 0; k < ty.count[y]; ++k) {
            const uint8_t* s = mid.data() + size_t(ty.first[y] + k) * w * 4;
            const uint32_t weight = wt[k];
            for (size_t i = 0; i < size_t(w) * 4; ++i) acc[i] += s[i] * weight;
        }
        uint8_t* d = out.bgra.data() + size_t(y) * w * 4;
        for (size_t i = 0; i < size_t(w) * 4; ++i) d[i] = uint8_t(acc[i] >> kWeightBits);
    }
}

// B, G, R (and A) to the layout; opaque rendering lays a translucent picture
// over black.
void ConvertPixels(const platform::ImagePixels& img, const PixelLayout& layout, bool withAlpha,
                   bool overBlack, Surface& surface) {
    const size_t n = size_t(img.width) * img.height;
    const uint8_t* s = img.bgra.data();
    uint16_t* d = surface.pixels;
    const uint32_t rs = layout.redShift, gd = layout.greenDrop;
    for (size_t i = 0; i < n; ++i, s += 4) {
        uint32_t b = s[0], g = s[1], r = s[2], a = s[3];
        if (overBlack && a != 255) {
            b = b * a / 255, g = g * a / 255, r = r * a / 255;
        }
        d[i] = uint16_t(((g >> gd) << 5) | ((r >> 3) << rs) | (b >> 3));
        if (withAlpha) surface.alpha[i] = uint8_t((a + 1) >> 3);
    }
}

int TakeSnapshot(Surface& surface, const Screen& screen) {
    if (screen.backBuffer == nullptr) return 0;
    if (!SizeSurface(surface, screen.physicalWidth, screen.physicalHeight)) return 0;
    DropSurfaceAlpha(surface);
    std::memcpy(surface.pixels, screen.backBuffer, screen.byteCount);
    return 1;
}

}  // namespace

void FitSize(uint32_t w, uint32_t h, uint32_t bw, uint32_t bh, uint32_t& outW, uint32_t& outH) {
    outW = outH = 0;
    if (w == 0 || h == 0) return;
    uint32_t fw = RoundDiv(uint64_t(w) * bh, h), fh;
    if (fw > bw) {
        fh = RoundDiv(uint64_t(h) * bw, w);
        fw = bw;
    } else {
        fh = bh;
    }
    if (fw + 1 == bw || fw == bw + 1) fw = bw;
    if (fh + 1 == bh || fh == bh + 1) fh = bh;
    outW = fw;
    outH = fh;
}

void ImageTargetSize(uint32_t w, uint32_t h, int scaleMode, uint32_t boxW, uint32_t boxH,
                     uint32_t& outW, uint32_t& outH) {
    outW = w, outH = h;
    if (scaleMode == kScaleThumbnail) {
        const uint64_t big = std::max(boxW, boxH);
        if (w <= big || h <= big) return;
        bool heightIsBig = boxW > boxH || (boxW == boxH && h <= w);
        if (heightIsBig) {
            outH = uint32_t(big);
            outW = uint32_t(big * w / h);
        } else {
            outW = uint32_t(big);
            outH = uint32_t(big * h / w);
        }
    } else if (scaleMode == kScaleFit) {
        FitSize(w, h, boxW, boxH, outW, outH);
    }
}

int LoadImageBytes(Surface& surface, const Screen& screen, const uint8_t* data, size_t size,
                   bool pngName, int scaleMode, uint32_t boxW, uint32_t boxH) {
    surface.width = surface.height = 0;
    DropSurfaceAlpha(surface);
    platform::ImageHeader header;
    if (!platform::ReadImageHeader(data, size, header)) return 0;
    if (scaleMode != kScaleNatural && boxW == 0 && boxH == 0) {
        bool portrait =
            screen.orientation == kOrientation0 || screen.orientation == kOrientation180;
        boxW = portrait ? screen.physicalWidth : screen.physicalHeight;
        boxH = portrait ? screen.physicalHeight : screen.physicalWidth;
    }
    uint32_t tw, th;
    ImageTargetSize(header.width, header.height, scaleMode, boxW, boxH, tw, th);
    if (tw == 0 || th == 0 || tw > kMaxSurfaceSide || th > kMaxSurfaceSide ||
        uint64_t(tw) * th > kMaxSurfacePixels)
        return 0;
    const bool resample = tw != header.width || th != header.height;
    platform::ImagePixels decoded;
    std::string reason;
    // A JPEG is reduced in the DCT domain as far as the target allows.
    if (!platform::DecodeImage(data, size, resample ? tw : 0, resample ? th : 0, decoded, reason)) {
        KRA_LOG("Image decode failed: %s", reason.c_str());
        return 0;
    }
    if (decoded.width != tw || decoded.height != th) {
        platform::ImagePixels scaled;
        Resample(decoded, tw, th, scaled);
        decoded = std::move(scaled);
    }
    const bool withAlpha = header.hasAlpha && pngName;
    if (!SizeSurface(surface, tw, th)) return 0;
    if (withAlpha && !SetSurfaceAlpha(surface)) {
        surface.width = surface.height = 0;
        return 0;
    }
    ConvertPixels(decoded, screen.layout, withAlpha, header.hasAlpha && !withAlpha, surface);
    return 1;
}

int LoadImage(Surface& surface, const Screen& screen, const std::u16string& path, int scaleMode,
              uint32_t boxW, uint32_t boxH) {
    surface.width = surface.height = 0;
    DropSurfaceAlpha(surface);
    if (path.empty()) return TakeSnapshot(surface, screen);
    std::vector<uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes, kMaxImageFileBytes)) return 0;
    return LoadImageBytes(surface, screen, bytes.data(), bytes.size(), EndsWithPng(path), scaleMode,
                          boxW, boxH);
}

bool SaveFramePng(const std::u16string& path, const uint16_t* pixels, uint32_t width,
                  uint32_t height, uint32_t pitch, const PixelLayout& layout) {
    if (pixels == nullptr || width == 0 || height == 0) return false;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    const uint32_t greenBits = 8 - layout.greenDrop;
    for (uint32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(
            reinterpret_cast<const uint8_t*>(pixels) + size_t(y) * pitch);
        uint8_t* d = rgb.data() + size_t(y) * width * 3;
        for (uint32_t x = 0; x < width; ++x, d += 3) {
            uint32_t p = row[x];
            uint32_t r = (p >> layout.redShift) & 31, g = (p & layout.greenMask) >> 5, b = p & 31;
            d[0] = uint8_t((r << 3) | (r >> 2));
            d[1] = uint8_t((g << (8 - greenBits)) | (g >> (2 * greenBits - 8)));
            d[2] = uint8_t((b << 3) | (b >> 2));
        }
    }
    return platform::WritePngRgb(platform::ToPosixPath(path), rgb.data(), width, height);
}

bool SaveSurfacePng(const std::u16string& path, const Surface& surface, const PixelLayout& layout) {
    if (!surface.HasPixels()) return false;
    return SaveFramePng(path, surface.pixels, surface.width, surface.height, surface.width * 2,
                        layout);
}

}  // namespace kra
