#include "graphics/blit.h"

#include <algorithm>
#include <cstring>

#include "graphics/pixel-rows.h"

namespace kra {
namespace {

// Gather buffers hold one chunk of a run whose source is not contiguous.
constexpr uint32_t kChunk = 1024;

struct Rect {
    int32_t x, y, w, h, srcX, srcY;
};

// Applies the clipping rules: defaults, source bounds, screen bounds, then
// negative destination coordinates. False when nothing is left.
bool ClipToScreen(Rect& r, uint32_t srcWidth, uint32_t srcHeight, uint32_t screenWidth,
                  uint32_t screenHeight) {
    int64_t w = r.w == 0 ? int64_t(srcWidth) : r.w;
    int64_t h = r.h == 0 ? int64_t(srcHeight) : r.h;
    int64_t x = r.x, y = r.y, sx = r.srcX, sy = r.srcY;
    // A negative source origin moves the destination along (not expected
    // from callers; kept bounded).
    if (sx < 0) x -= sx, w += sx, sx = 0;
    if (sy < 0) y -= sy, h += sy, sy = 0;
    w = std::min<int64_t>(w, int64_t(srcWidth) - sx);
    h = std::min<int64_t>(h, int64_t(srcHeight) - sy);
    w = std::min<int64_t>(w, int64_t(screenWidth) - x);
    h = std::min<int64_t>(h, int64_t(screenHeight) - y);
    if (x < 0) sx -= x, w += x, x = 0;
    if (y < 0) sy -= y, h += y, y = 0;
    if (w <= 0 || h <= 0) return false;
    r = Rect{int32_t(x), int32_t(y), int32_t(w), int32_t(h), int32_t(sx), int32_t(sy)};
    return true;
}

// One run of contiguous, ascending back-buffer pixels: pixel k of the run is
// the rectangle's logical pixel (col + k * dcol, row + k * drow).
struct Run {
    uint16_t* dst;
    int32_t col, row, dcol, drow;
    uint32_t n;
};

// Splits the logical rectangle (x, y, w, h) into runs that walk the back
// buffer's contiguous direction: rows when x steps are +-2 bytes, columns when
// the axes are swapped, single pixels for any other layout.
template <class Fn>
void WalkRect(const Screen& screen, int32_t x, int32_t y, int32_t w, int32_t h, Fn&& fn) {
    auto chunked = [&](uint16_t* dst, int32_t col, int32_t row, int32_t dcol, int32_t drow,
                       uint32_t n) {
        // Ascending addresses: chunk k starts k * kChunk pixels further on.
        for (uint32_t done = 0; done < n; done += kChunk) {
            uint32_t len = std::min(kChunk, n - done);
            fn(Run{dst + done, col + int32_t(done) * dcol, row + int32_t(done) * drow, dcol, drow,
                   len});
        }
    };
    if (screen.xStep == 2 || screen.xStep == -2) {
        bool forward = screen.xStep == 2;
        for (int32_t j = 0; j < h; ++j) {
            int32_t col = forward ? 0 : w - 1;
            chunked(ScreenPixel(screen, x + col, y + j), col, j, forward ? 1 : -1, 0, uint32_t(w));
        }
    } else if (screen.yStep == 2 || screen.yStep == -2) {
        bool forward = screen.yStep == 2;
        for (int32_t i = 0; i < w; ++i) {
            int32_t row = forward ? 0 : h - 1;
            chunked(ScreenPixel(screen, x + i, y + row), i, row, 0, forward ? 1 : -1, uint32_t(h));
        }
    } else {
        for (int32_t j = 0; j < h; ++j)
            for (int32_t i = 0; i < w; ++i)
                fn(Run{ScreenPixel(screen, x + i, y + j), i, j, 0, 0, 1});
    }
}

enum class Op { None, Copy, Blend, Keyed, KeyedBlend, PerPixel, PerPixelKeyed };

// The drawing rules by source kind, mode and global alpha.
Op ChooseOp(bool srcHasAlpha, uint32_t mode, uint32_t alpha) {
    if (srcHasAlpha) {
        if (alpha == 0) return Op::None;
        return mode == BlitKeyedAlpha ? Op::PerPixelKeyed : Op::PerPixel;
    }
    switch (mode) {
        case BlitBlend:
            if (alpha == 0) return Op::None;
            return alpha >= 32 ? Op::Copy : Op::Blend;
        case BlitKeyed:
            if (alpha == 0) return Op::None;
            return alpha >= 32 ? Op::Keyed : Op::KeyedBlend;
        case BlitCopy:
            return Op::Copy;
        default:
            return Op::None;
    }
}

void ApplyOp(Op op, const PixelLayout& layout, uint16_t* dst, const uint16_t* src,
             const uint8_t* srcAlpha, size_t n, uint16_t key, uint32_t alpha) {
    switch (op) {
        case Op::None:
            break;
        case Op::Copy:
            rows::Copy(dst, src, n);
            break;
        case Op::Blend:
            rows::Blend(layout, dst, src, n, alpha);
            break;
        case Op::Keyed:
            rows::Keyed(dst, src, n, key);
            break;
        case Op::KeyedBlend:
            rows::KeyedBlend(layout, dst, src, n, key, alpha);
            break;
        case Op::PerPixel:
            rows::PerPixel(layout, dst, src, srcAlpha, n, alpha, false, key);
            break;
        case Op::PerPixelKeyed:
            rows::PerPixel(layout, dst, src, srcAlpha, n, alpha, true, key);
            break;
    }
}

void MapCorner(const Screen& screen, int orientation, int32_t x, int32_t y, int32_t& px,
               int32_t& py) {
    int32_t w = int32_t(screen.physicalWidth), h = int32_t(screen.physicalHeight);
    switch (orientation) {
        case kOrientation90:
            px = y, py = h - x;
            break;
        case kOrientation180:
            px = w - x, py = h - y;
            break;
        case kOrientation270:
            px = w - y, py = x;
            break;
        default:
            px = x, py = y;
            break;
    }
}

// Fills the physical rectangle [x1, x2) x [y1, y2) (already ordered).
void FillPhysical(Screen& screen, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint16_t colour,
                  uint32_t alpha) {
    x1 = std::max(x1, 0), y1 = std::max(y1, 0);
    x2 = std::min(x2, int32_t(screen.physicalWidth));
    y2 = std::min(y2, int32_t(screen.physicalHeight));
    if (x1 >= x2 || y1 >= y2 || alpha == 0) return;
    auto* base = reinterpret_cast<uint8_t*>(screen.backBuffer);
    for (int32_t py = y1; py < y2; ++py) {
        if (screen.xStride == 2) {
            auto* row = reinterpret_cast<uint16_t*>(base + intptr_t(py) * screen.yStride) + x1;
            rows::FillBlend(screen.layout, row, size_t(x2 - x1), colour, alpha);
        } else {
            for (int32_t px = x1; px < x2; ++px) {
                auto* p = reinterpret_cast<uint16_t*>(base + intptr_t(py) * screen.yStride +
                                                      intptr_t(px) * screen.xStride);
                rows::FillBlend(screen.layout, p, 1, colour, alpha);
            }
        }
    }
}

// Turned views: the back buffer's contiguous direction runs down the logical
// columns. The source is read a tile of 16 columns at a time, row by row, so
// both sides are walked in memory order; each tile column is then one run.
void DrawTurned(const Surface& src, Screen& screen, const Rect& r, Op op, uint16_t key,
                uint32_t alpha) {
    constexpr int32_t kCols = 16, kRows = 512;
    uint16_t tile[kCols][kRows];
    uint8_t tileAlpha[kCols][kRows];
    const bool forward = screen.yStep == 2;
    const bool withAlpha = src.HasAlpha();
    for (int32_t i0 = 0; i0 < r.w; i0 += kCols) {
        const int32_t cols = std::min(kCols, r.w - i0);
        for (int32_t j0 = 0; j0 < r.h; j0 += kRows) {
            const int32_t rows = std::min(kRows, r.h - j0);
            for (int32_t k = 0; k < rows; ++k) {
                const int32_t j = forward ? j0 + k : j0 + rows - 1 - k;
                const size_t at = size_t(r.srcY + j) * src.width + size_t(r.srcX + i0);
                const uint16_t* s = src.pixels + at;
                for (int32_t c = 0; c < cols; ++c) tile[c][k] = s[c];
                if (withAlpha) {
                    const uint8_t* a = src.alpha + at;
                    for (int32_t c = 0; c < cols; ++c) tileAlpha[c][k] = a[c];
                }
            }
            const int32_t firstRow = forward ? j0 : j0 + rows - 1;
            for (int32_t c = 0; c < cols; ++c)
                ApplyOp(op, screen.layout, ScreenPixel(screen, r.x + i0 + c, r.y + firstRow),
                        tile[c], withAlpha ? tileAlpha[c] : nullptr, size_t(rows), key, alpha);
        }
    }
}

bool HasBackBuffer(const Screen& screen) {
    return screen.backBuffer != nullptr && screen.origin != nullptr;
}

}  // namespace

int DrawSurface(const Surface& src, Screen& screen, int32_t x, int32_t y, int32_t w, int32_t h,
                int32_t srcX, int32_t srcY, uint32_t mode, uint32_t alpha) {
    if (!src.HasPixels()) return 0;
    if (!HasBackBuffer(screen)) return 0;
    alpha = std::min<uint32_t>(alpha, 32);
    Rect r{x, y, w, h, srcX, srcY};
    if (!ClipToScreen(r, src.width, src.height, screen.width, screen.height)) return 1;
    const bool withAlpha = src.HasAlpha();
    const Op op = ChooseOp(withAlpha, mode, alpha);
    if (op == Op::None) return 1;
    const uint16_t key = src.pixels[0];
    if (screen.yStep == 2 || screen.yStep == -2) {
        DrawTurned(src, screen, r, op, key, alpha);
        return 1;
    }
    uint16_t gathered[kChunk];
    uint8_t gatheredAlpha[kChunk];
    WalkRect(screen, r.x, r.y, r.w, r.h, [&](const Run& run) {
        size_t first = size_t(r.srcY + run.row) * src.width + size_t(r.srcX + run.col);
        const uint16_t* s = src.pixels + first;
        const uint8_t* a = withAlpha ? src.alpha + first : nullptr;
        if (!(run.dcol == 1 && run.drow == 0) && run.n > 1) {
            intptr_t step = intptr_t(run.drow) * src.width + run.dcol;
            for (uint32_t k = 0; k < run.n; ++k) {
                gathered[k] = s[intptr_t(k) * step];
                if (withAlpha) gatheredAlpha[k] = a[intptr_t(k) * step];
            }
            s = gathered;
            a = withAlpha ? gatheredAlpha : nullptr;
        }
        ApplyOp(op, screen.layout, run.dst, s, a, run.n, key, alpha);
    });
    return 1;
}

int DrawStrip(const Surface& strip, Screen& screen, int32_t x, int32_t y, int32_t w, int32_t h,
              uint32_t mode, uint32_t alpha) {
    if (!strip.HasPixels()) return 0;
    if (!HasBackBuffer(screen)) return 0;
    alpha = std::min<uint32_t>(alpha, 32);
    // Width has no source limit: the strip's column repeats across it.
    if (w == 0) w = int32_t(strip.width);
    if (w < 0) return 1;
    Rect r{x, y, w, h, 0, 0};
    if (!ClipToScreen(r, uint32_t(w), strip.height, screen.width, screen.height)) return 1;
    const uint16_t key = strip.pixels[0];
    const uint32_t sw = strip.width;  // strip pixel j is the first pixel of row j
    const bool withAlpha = strip.HasAlpha();
    uint32_t a = alpha;
    if (withAlpha) a = (uint32_t(strip.alpha[size_t(r.srcY) * sw]) * alpha) >> 5;
    WalkRect(screen, r.x, r.y, r.w, r.h, [&](const Run& run) {
        if (run.drow == 0) {
            // A piece of one row: one colour.
            uint16_t p = strip.pixels[size_t(r.srcY + run.row) * sw];
            bool skip;
            if (withAlpha)
                skip = a == 0 || (mode == BlitKeyedAlpha && p == key);
            else if (mode == BlitBlend)
                skip = alpha == 0;
            else if (mode == BlitKeyed)
                skip = alpha == 0 || p == key;
            else
                skip = mode != BlitCopy;
            if (skip) return;
            uint32_t use = (!withAlpha && mode == BlitCopy) ? 32 : a;
            rows::FillBlend(screen.layout, run.dst, run.n, p, use);
            return;
        }
        // A piece of one column: the strip itself, walked up or down.
        uint16_t col[kChunk];
        for (uint32_t k = 0; k < run.n; ++k)
            col[k] = strip.pixels[size_t(r.srcY + run.row + int32_t(k) * run.drow) * sw];
        if (withAlpha) {
            if (a == 0) return;
            for (uint32_t k = 0; k < run.n; ++k) {
                if (mode == BlitKeyedAlpha && col[k] == key) continue;
                rows::Blend(screen.layout, run.dst + k, col + k, 1, a);
            }
            return;
        }
        Op op = ChooseOp(false, mode, alpha);
        ApplyOp(op, screen.layout, run.dst, col, nullptr, run.n, key, alpha);
    });
    return 1;
}

int BlendSurface(Surface& dst, const Screen& screen, const Surface& src, int32_t dstX, int32_t dstY,
                 int32_t w, int32_t h, int32_t srcX, int32_t srcY, uint32_t mode, uint32_t alpha) {
    if (!src.HasPixels() || !dst.HasPixels()) return 0;
    alpha = std::min<uint32_t>(alpha, 32);
    Rect r{dstX, dstY, w, h, srcX, srcY};
    if (!ClipToScreen(r, src.width, src.height, dst.width, dst.height)) return 1;
    const PixelLayout& layout = screen.layout;
    const uint16_t key = src.pixels[0];
    const bool srcAlpha = src.HasAlpha();
    if (!dst.HasAlpha()) {
        // Opaque destination: the screen rules, except that a source with
        // alpha is drawn per pixel without the key test.
        Op op = srcAlpha ? (alpha == 0 ? Op::None : Op::PerPixel) : ChooseOp(false, mode, alpha);
        if (op == Op::None) return 1;
        for (int32_t j = 0; j < r.h; ++j) {
            size_t s = size_t(r.srcY + j) * src.width + size_t(r.srcX);
            uint16_t* d = dst.Row(uint32_t(r.y + j)) + r.x;
            if (&dst == &src && d + r.w > src.pixels + s && src.pixels + s + r.w > d) {
                // Overlapping rows of one surface: go through a copy.
                uint16_t tmp[kChunk];
                for (int32_t done = 0; done < r.w; done += int32_t(kChunk)) {
                    size_t n = size_t(std::min<int32_t>(int32_t(kChunk), r.w - done));
                    std::memcpy(tmp, src.pixels + s + done, n * 2);
                    ApplyOp(op, layout, d + done, tmp, srcAlpha ? src.alpha + s + done : nullptr, n,
                            key, alpha);
                }
                continue;
            }
            ApplyOp(op, layout, d, src.pixels + s, srcAlpha ? src.alpha + s : nullptr, size_t(r.w),
                    key, alpha);
        }
        return 1;
    }
    // Destination with an alpha plane: drawn pixels take their alpha along.
    if (!srcAlpha && alpha == 0) return 1;
    for (int32_t j = 0; j < r.h; ++j) {
        size_t s = size_t(r.srcY + j) * src.width + size_t(r.srcX);
        uint16_t* d = dst.Row(uint32_t(r.y + j)) + r.x;
        uint8_t* da = dst.AlphaRow(uint32_t(r.y + j)) + r.x;
        for (int32_t i = 0; i < r.w; ++i) {
            uint16_t p = src.pixels[s + size_t(i)];
            uint32_t a;
            if (srcAlpha) {
                a = (uint32_t(src.alpha[s + size_t(i)]) * alpha) >> 5;
                if (a == 0) continue;
            } else {
                if (p == key) continue;
                a = alpha;
            }
            d[i] = a >= 32 ? p : BlendPixel(layout, d[i], p, a);
            da[i] = uint8_t(a);
        }
    }
    return 1;
}

int CopyDimmed(const Surface& snapshot, Screen& screen, uint32_t level) {
    if (screen.backBuffer == nullptr) return 0;
    if (!snapshot.HasPixels() || size_t(snapshot.width) * snapshot.height != screen.pixelCount) {
        std::memset(screen.backBuffer, 0, screen.byteCount);
        return 1;
    }
    rows::Dim(screen.layout, screen.backBuffer, snapshot.pixels, screen.pixelCount,
              std::min<uint32_t>(level, 32));
    return 1;
}

int DimScreen(Screen& screen, uint32_t level) {
    if (screen.backBuffer == nullptr) return 0;
    rows::Dim(screen.layout, screen.backBuffer, screen.backBuffer, screen.pixelCount,
              std::min<uint32_t>(level, 32));
    return 1;
}

int ClearScreen(Screen& screen, uint8_t value) {
    if (screen.backBuffer == nullptr) return 0;
    std::memset(screen.backBuffer, value, screen.byteCount);
    return 1;
}

int FillRect(Screen& screen, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t alpha,
             int orientation) {
    if (screen.backBuffer == nullptr || screen.brush == nullptr) return 0;
    int32_t ax, ay, bx, by;
    MapCorner(screen, orientation, x1, y1, ax, ay);
    MapCorner(screen, orientation, x2, y2, bx, by);
    if (ax > bx) std::swap(ax, bx);
    if (ay > by) std::swap(ay, by);
    FillPhysical(screen, ax, ay, bx, by, screen.brush->colour, std::min<uint32_t>(alpha, 32));
    return 1;
}

int DrawLine(Screen& screen, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int orientation,
             uint16_t colour, uint32_t alpha) {
    if (screen.backBuffer == nullptr) return 0;
    if (x1 != x2 && y1 != y2) return 1;  // only straight lines are drawn
    // Horizontal: [min x, max x) on row y; vertical: [min y, max y) in column x.
    int32_t lx1 = x1, ly1 = y1, lx2 = x2, ly2 = y2;
    if (y1 == y2) {
        if (lx1 > lx2) std::swap(lx1, lx2);
        ly2 = ly1 + 1;
    } else {
        if (ly1 > ly2) std::swap(ly1, ly2);
        lx2 = lx1 + 1;
    }
    int32_t ax, ay, bx, by;
    MapCorner(screen, orientation, lx1, ly1, ax, ay);
    MapCorner(screen, orientation, lx2, ly2, bx, by);
    if (ax > bx) std::swap(ax, bx);
    if (ay > by) std::swap(ay, by);
    FillPhysical(screen, ax, ay, bx, by, colour, std::min<uint32_t>(alpha, 32));
    return 1;
}

}  // namespace kra
