#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/image.h"
#include "graphics/surface.h"

namespace kra {
namespace {

// A private copy of src when it is also the destination.
struct SourceCopy {
    Surface copy;
    const Surface* src;
    SourceCopy(const Surface& dst, const Surface& original) : src(&original) {
        if (&dst != &original || !original.HasPixels()) return;
        if (!SizeSurface(copy, original.width, original.height)) return;
        std::memcpy(copy.pixels, original.pixels, size_t(original.width) * original.height * 2);
        if (original.HasAlpha() && SetSurfaceAlpha(copy))
            std::memcpy(copy.alpha, original.alpha, copy.alphaSize);
        src = &copy;
    }
};

struct Channels {
    uint32_t r, g, b;
};

inline Channels Split(const PixelLayout& layout, uint16_t p) {
    return {uint32_t(p >> layout.redShift) & 31, uint32_t(p & layout.greenMask) >> 5,
            uint32_t(p) & 31};
}

inline uint16_t Join(const PixelLayout& layout, uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t((r << layout.redShift) | (g << 5) | b);
}

}  // namespace

int FillSurface(Surface& surface, const Screen& screen, uint32_t w, uint32_t h, uint8_t fillByte,
                bool withAlpha, uint8_t alphaByte) {
    if (w == 0) w = screen.physicalWidth;
    if (h == 0) h = screen.physicalHeight;
    if (w == 0 || h == 0 || !SizeSurface(surface, w, h) || surface.width == 0) return 0;
    std::memset(surface.pixels, fillByte, size_t(w) * h * 2);
    if (!withAlpha) {
        DropSurfaceAlpha(surface);
        return 1;
    }
    if (!SetSurfaceAlpha(surface)) return 0;
    std::memset(surface.alpha, alphaByte, surface.alphaSize);
    return 1;
}

int CropSurface(Surface& dst, const Surface& original, uint32_t w, uint32_t h, uint32_t srcX,
                uint32_t srcY, uint8_t fillByte) {
    if (!original.HasPixels()) return 0;
    SourceCopy holder(dst, original);
    const Surface& src = *holder.src;
    if (!src.HasPixels()) return 0;
    if (w == 0 && h == 0 && srcX == 0 && srcY == 0) w = src.width, h = src.height;
    w = std::min(w, src.width);
    h = std::min(h, src.height);
    if (w == 0 || h == 0) return 0;
    if (!SizeSurface(dst, w, h)) return 0;
    const bool withAlpha = src.HasAlpha();
    if (withAlpha) {
        if (!SetSurfaceAlpha(dst)) return 0;
        std::memset(dst.alpha, 0, dst.alphaSize);
    } else {
        DropSurfaceAlpha(dst);
    }
    // What the source does not reach keeps the fill (black when none given).
    std::memset(dst.pixels, fillByte, size_t(w) * h * 2);
    if (srcX >= src.width || srcY >= src.height) return 1;
    const uint32_t cols = std::min(w, src.width - srcX), rows = std::min(h, src.height - srcY);
    for (uint32_t y = 0; y < rows; ++y) {
        std::memcpy(dst.Row(y), src.Row(srcY + y) + srcX, size_t(cols) * 2);
        if (withAlpha) std::memcpy(dst.AlphaRow(y), src.AlphaRow(srcY + y) + srcX, cols);
    }
    return 1;
}

int MirrorSurface(Surface& dst, const Surface& original) {
    if (!original.HasPixels()) return 0;
    SourceCopy holder(dst, original);
    const Surface& src = *holder.src;
    if (!src.HasPixels() || !SizeSurface(dst, src.width, src.height)) return 0;
    const bool withAlpha = src.HasAlpha();
    if (withAlpha) {
        if (!SetSurfaceAlpha(dst)) return 0;
    } else {
        DropSurfaceAlpha(dst);
    }
    const uint32_t w = src.width;
    for (uint32_t y = 0; y < src.height; ++y) {
        const uint16_t* s = src.Row(y);
        uint16_t* d = dst.Row(y);
        for (uint32_t x = 0; x < w; ++x) d[x] = s[w - 1 - x];
        if (withAlpha) {
            const uint8_t* sa = src.AlphaRow(y);
            uint8_t* da = dst.AlphaRow(y);
            for (uint32_t x = 0; x < w; ++x) da[x] = sa[w - 1 - x];
        }
    }
    return 1;
}

int MakeReflection(Surface& dst, const Surface& original, uint32_t rows) {
    if (!original.HasPixels()) return 0;
    SourceCopy holder(dst, original);
    const Surface& src = *holder.src;
    if (!src.HasPixels()) return 0;
    if (rows == 0) rows = src.height / 2;
    rows = std::min(rows, src.height);
    if (rows == 0 || !SizeSurface(dst, src.width, rows) || !SetSurfaceAlpha(dst)) return 0;
    for (uint32_t i = 0; i < rows; ++i)
        std::memcpy(dst.Row(i), src.Row(src.height - 1 - i), size_t(src.width) * 2);
    std::memset(dst.alpha, 20, dst.alphaSize);
    return 1;
}

int ScaleSurface(Surface& dst, const Screen& screen, const Surface& original, uint32_t w,
                 uint32_t h, bool smooth, bool keepAspect) {
    if (!original.HasPixels()) return 0;
    SourceCopy holder(dst, original);
    const Surface& src = *holder.src;
    if (!src.HasPixels()) return 0;
    uint32_t tw, th;
    if (keepAspect) {
        FitSize(src.width, src.height, w == 0 ? src.width : w, h == 0 ? src.height : h, tw, th);
    } else {
        tw = w == 0 ? src.width : w;
        th = h == 0 ? src.height : h;
    }
    if (tw == 0 || th == 0 || !SizeSurface(dst, tw, th) || dst.width == 0) return 0;
    const uint32_t stepX = (src.width << 8) / tw, stepY = (src.height << 8) / th;
    const bool withAlpha = !smooth && src.HasAlpha();
    if (withAlpha) {
        if (!SetSurfaceAlpha(dst)) return 0;
    } else {
        DropSurfaceAlpha(dst);
    }
    if (!smooth) {
        std::vector<uint32_t> column(tw);
        for (uint32_t x = 0, acc = 0; x < tw; ++x, acc += stepX) column[x] = acc >> 8;
        for (uint32_t y = 0, accY = 0; y < th; ++y, accY += stepY) {
            const uint32_t sy = accY >> 8;
            const uint16_t* s = src.Row(sy);
            uint16_t* d = dst.Row(y);
            for (uint32_t x = 0; x < tw; ++x) d[x] = s[column[x]];
            if (withAlpha) {
                const uint8_t* sa = src.AlphaRow(sy);
                uint8_t* da = dst.AlphaRow(y);
                for (uint32_t x = 0; x < tw; ++x) da[x] = sa[column[x]];
            }
        }
        return 1;
    }
    // Bilinear with 8-bit weights; the neighbour beyond the last column or
    // row is the edge pixel itself.
    const PixelLayout& layout = screen.layout;
    for (uint32_t y = 0, accY = 0; y < th; ++y, accY += stepY) {
        const uint32_t y0 = accY >> 8, y1 = std::min(y0 + 1, src.height - 1), fy = accY & 255;
        const uint16_t* r0 = src.Row(y0);
        const uint16_t* r1 = src.Row(y1);
        uint16_t* d = dst.Row(y);
        for (uint32_t x = 0, accX = 0; x < tw; ++x, accX += stepX) {
            const uint32_t x0 = accX >> 8, x1 = std::min(x0 + 1, src.width - 1), fx = accX & 255;
            Channels p00 = Split(layout, r0[x0]), p10 = Split(layout, r0[x1]);
            Channels p01 = Split(layout, r1[x0]), p11 = Split(layout, r1[x1]);
            auto mix = [fx, fy](uint32_t a, uint32_t b, uint32_t c, uint32_t e) {
                uint32_t top = (a * (256 - fx) + b * fx) >> 8;
                uint32_t bottom = (c * (256 - fx) + e * fx) >> 8;
                return (top * (256 - fy) + bottom * fy) >> 8;
            };
            d[x] = Join(layout, mix(p00.r, p10.r, p01.r, p11.r), mix(p00.g, p10.g, p01.g, p11.g),
                        mix(p00.b, p10.b, p01.b, p11.b));
        }
    }
    return 1;
}

int RotateSurface(Surface& dst, const Surface& original, float degrees, uint8_t fillByte) {
    if (!original.HasPixels()) return 0;
    SourceCopy holder(dst, original);
    const Surface& src = *holder.src;
    if (!src.HasPixels()) return 0;
    const float theta = float(double(degrees) * 3.14159265358979 / 180.0);
    const float cs = std::cos(theta), sn = std::sin(theta);
    const int32_t cos256 = int32_t(cs * 256.0f), sin256 = int32_t(sn * 256.0f);
    const float W = float(src.width), H = float(src.height);
    const int32_t xs[4] = {0, int32_t(W * cs), int32_t(-H * sn), int32_t(W * cs - H * sn)};
    const int32_t ys[4] = {0, int32_t(W * sn), int32_t(H * cs), int32_t(W * sn + H * cs)};
    const int32_t minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
    const int32_t minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
    const uint32_t rw = uint32_t(maxX - minX), rh = uint32_t(maxY - minY);
    if (rw == 0 || rh == 0 || !SizeSurface(dst, rw, rh) || dst.width == 0) return 0;
    const bool withAlpha = src.HasAlpha();
    if (withAlpha) {
        if (!SetSurfaceAlpha(dst)) return 0;
        std::memset(dst.alpha, 0, dst.alphaSize);
    } else {
        DropSurfaceAlpha(dst);
    }
    std::memset(dst.pixels, fillByte, size_t(rw) * rh * 2);
    for (uint32_t row = 0; row < rh; ++row) {
        const int64_t Y = int64_t(row) + minY;
        uint16_t* d = dst.Row(row);
        for (uint32_t col = 0; col < rw; ++col) {
            const int64_t X = int64_t(col) + minX;
            const int64_t sx = (X * cos256 + Y * sin256) >> 8;
            const int64_t sy = (Y * cos256 - X * sin256) >> 8;
            if (sx < 0 || sy < 0 || sx >= int64_t(src.width) || sy >= int64_t(src.height)) continue;
            d[col] = src.Row(uint32_t(sy))[sx];
            if (withAlpha) dst.AlphaRow(row)[col] = src.AlphaRow(uint32_t(sy))[sx];
        }
    }
    return 1;
}

int WarpSurface(Surface& dst, const Screen& screen, const Surface& original, const WarpCorners& c,
                uint32_t fill, bool reflect, bool withAlpha) {
    if (!original.HasPixels()) return 0;
    SourceCopy holder(dst, original);
    const Surface& src = *holder.src;
    if (!src.HasPixels()) return 0;
    const bool horizontal = c.y0 == c.y1 && c.y2 == c.y3;
    const bool vertical = c.x0 == c.x2 && c.x1 == c.x3;
    if (!horizontal && !vertical) return 0;
    for (int32_t v : {c.x0, c.y0, c.x1, c.y1, c.x2, c.y2, c.x3, c.y3})
        if (v < 0 || v >= int32_t(kMaxSurfaceSide)) return 0;
    const int32_t R = std::max({c.y0, c.y1, c.y2, c.y3}) + 1;
    const int32_t CW = std::max({c.x0, c.x1, c.x2, c.x3});
    const int32_t reflRows = reflect ? R / 2 : 0;
    if (CW <= 0) return 0;
    // The buffer holds R + reflRows rows; the picture is one row less.
    const uint32_t bufferRows = uint32_t(R + reflRows);
    if (!SizeSurface(dst, uint32_t(CW), bufferRows) || dst.width == 0) return 0;
    const uint8_t fillLow = uint8_t(fill & 0xFF);
    std::memset(dst.pixels, fillLow, size_t(CW) * bufferRows * 2);
    if (withAlpha) {
        if (!SetSurfaceAlpha(dst)) return 0;
        std::memset(dst.alpha, 0, dst.alphaSize);
    } else {
        DropSurfaceAlpha(dst);
    }
    const PixelLayout& layout = screen.layout;
    const int32_t W = CW, rowsTotal = int32_t(bufferRows);
    auto put = [&](int32_t x, int32_t y, uint16_t p) {
        if (x < 0 || y < 0 || x >= W || y >= rowsTotal) return;
        dst.pixels[size_t(y) * W + x] = p;
        if (withAlpha) dst.alpha[size_t(y) * W + x] = 32;
    };
    auto at = [&](int32_t x, int32_t y) { return dst.pixels[size_t(y) * W + x]; };
    const uint32_t srcW = src.width, srcH = src.height;

    if (horizontal) {
        const int32_t stepL = ((c.x2 - c.x0) * 256) / R, stepR = ((c.x3 - c.x1) * 256) / R;
        const uint32_t srcStepY = (srcH << 8) / uint32_t(R);
        std::vector<int32_t> spanL(R), spanR(R);
        for (int32_t r = 0; r < R; ++r) {
            const int32_t left = (c.x0 * 256 + r * stepL) >> 8;
            const int32_t right = (c.x1 * 256 + r * stepR) >> 8;
            spanL[r] = std::max(left, 0);
            spanR[r] = std::min(right, W - 1);
            const int32_t span = right - left + 1;
            if (span <= 0) {
                spanR[r] = spanL[r] - 1;
                continue;
            }
            const uint32_t sy = std::min((uint32_t(r) * srcStepY) >> 8, srcH - 1);
            const uint32_t step = (srcW << 8) / uint32_t(span);
            const uint16_t* s = src.Row(sy);
            for (int32_t k = 0; k < span; ++k)
                put(left + k, r, s[std::min((uint32_t(k) * step) >> 8, srcW - 1)]);
        }
        // Reflection rows R .. R + reflRows - 2 mirror rows R - 1, R - 2, ...
        for (int32_t k = 0; k + 1 < reflRows; ++k) {
            const int32_t from = R - 1 - k, to = R + k;
            if (from < 0) break;
            for (int32_t x = spanL[from]; x <= spanR[from]; ++x)
                put(x, to, DimPixel(layout, at(x, from), 20));
        }
    } else {
        const int32_t stepT = ((c.y1 - c.y0) * 256) / CW, stepB = ((c.y3 - c.y2) * 256) / CW;
        const uint32_t srcStepX = (srcW << 8) / uint32_t(CW);
        for (int32_t col = 0; col < CW; ++col) {
            const int32_t top = (c.y0 * 256 + col * stepT) >> 8;
            const int32_t bottom = (c.y2 * 256 + col * stepB) >> 8;
            const int32_t span = bottom - top + 1;
            if (span <= 0) continue;
            const uint32_t sx = std::min((uint32_t(col) * srcStepX) >> 8, srcW - 1);
            const uint32_t step = (srcH << 8) / uint32_t(span);
            for (int32_t k = 0; k < span; ++k)
                put(col, top + k, src.Row(std::min((uint32_t(k) * step) >> 8, srcH - 1))[sx]);
            // The first reflection pixel mirrors the edge pixel itself.
            for (int32_t k = 0; k < reflRows; ++k) {
                const int32_t from = bottom - k, to = bottom + 1 + k;
                if (from < 0 || from >= rowsTotal || to >= rowsTotal) break;
                put(col, to, DimPixel(layout, at(col, from), 20));
            }
        }
    }
    // The picture is one row shorter than its buffer.
    dst.height = bufferRows - 1;
    if (dst.HasAlpha()) dst.alphaSize = dst.width * dst.height;
    if (!withAlpha) dst.pixels[0] = uint16_t(fillLow * 0x0101);
    return 1;
}

}  // namespace kra
