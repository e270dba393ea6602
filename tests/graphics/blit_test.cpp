#include "graphics/blit.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "screen_fixture.h"

namespace kra {
namespace {

using test::FillRandom;
using test::TestScreen;

// Physical position of logical (x, y) for an orientation, W x H physical.
void Physical(int orientation, uint32_t W, uint32_t H, int32_t x, int32_t y, int32_t& px,
              int32_t& py) {
    switch (orientation) {
        case 1:
            px = y, py = int32_t(H) - 1 - x;
            break;
        case 2:
            px = int32_t(W) - 1 - x, py = int32_t(H) - 1 - y;
            break;
        case 4:
            px = int32_t(W) - 1 - y, py = x;
            break;
        default:
            px = x, py = y;
    }
}

std::vector<uint16_t> Pixels(const TestScreen& t) {
    return std::vector<uint16_t>(t.screen.backBuffer, t.screen.backBuffer + t.screen.pixelCount);
}

// The drawing rules written out pixel by pixel, as the reference for the
// specialised loops.
void ReferenceDraw(const Surface& src, std::vector<uint16_t>& buffer, const PixelLayout& layout,
                   int orientation, uint32_t W, uint32_t H, int32_t x, int32_t y, int32_t w,
                   int32_t h, int32_t srcX, int32_t srcY, uint32_t mode, uint32_t alpha) {
    const bool swapped = orientation == 1 || orientation == 4;
    const int32_t lw = int32_t(swapped ? H : W), lh = int32_t(swapped ? W : H);
    if (w == 0) w = int32_t(src.width);
    if (h == 0) h = int32_t(src.height);
    const uint16_t key = src.pixels[0];
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            int32_t sx = srcX + i, sy = srcY + j, dx = x + i, dy = y + j;
            if (sx < 0 || sy < 0 || sx >= int32_t(src.width) || sy >= int32_t(src.height)) continue;
            if (dx < 0 || dy < 0 || dx >= lw || dy >= lh) continue;
            int32_t px, py;
            Physical(orientation, W, H, dx, dy, px, py);
            uint16_t& d = buffer[size_t(py) * W + px];
            uint16_t s = src.pixels[size_t(sy) * src.width + sx];
            if (src.HasAlpha()) {
                uint32_t a = (src.alpha[size_t(sy) * src.width + sx] * alpha) >> 5;
                if (a == 0 || (mode == BlitKeyedAlpha && s == key)) continue;
                d = a == 32 ? s : BlendPixel(layout, d, s, a);
            } else if (mode == BlitBlend) {
                d = alpha == 32 ? s : BlendPixel(layout, d, s, alpha);
            } else if (mode == BlitKeyed) {
                if (s != key) d = alpha == 32 ? s : BlendPixel(layout, d, s, alpha);
            } else if (mode == BlitCopy) {
                d = s;
            }
        }
}

TEST(BlitTest, AllModesAndOrientationsMatchThePixelRules) {
    std::mt19937 rng(7);
    const uint32_t modes[] = {BlitCopy, BlitBlend, BlitKeyed, BlitKeyedAlpha, 77};
    for (bool rgb555 : {false, true})
        for (int orientation : {0, 1, 2, 4}) {
            TestScreen t(37, 23, rgb555, orientation);
            ASSERT_TRUE(t.ok);
            ASSERT_EQ(t.screen.orientation, orientation);
            for (int round = 0; round < 60; ++round) {
                Surface src;
                FillRandom(src, 1 + rng() % 40, 1 + rng() % 30, rng, round % 2 == 1, rgb555);
                // Make keyed pixels common.
                for (uint32_t i = 0; i < src.width * src.height; i += 3)
                    src.pixels[i] = src.pixels[0];
                for (uint32_t i = 0; i < t.screen.pixelCount; ++i)
                    t.screen.backBuffer[i] = uint16_t(rng() & (rgb555 ? 0x7FFF : 0xFFFF));
                std::vector<uint16_t> expected = Pixels(t);
                const uint32_t mode = modes[rng() % 5];
                const uint32_t alphas[] = {0, 1, 16, 31, 32};
                const uint32_t alpha = alphas[rng() % 5];
                int32_t x = int32_t(rng() % 60) - 20, y = int32_t(rng() % 60) - 20;
                int32_t w = int32_t(rng() % 45), h = int32_t(rng() % 35);
                int32_t sx = int32_t(rng() % 10), sy = int32_t(rng() % 10);
                ReferenceDraw(src, expected, t.screen.layout, orientation, 37, 23, x, y, w, h, sx,
                              sy, mode, alpha);
                ASSERT_EQ(DrawSurface(src, t.screen, x, y, w, h, sx, sy, mode, alpha), 1);
                ASSERT_EQ(Pixels(t), expected) << "orientation " << orientation << " mode " << mode
                                               << " alpha " << alpha << " round " << round;
            }
        }
}

TEST(BlitTest, LongRunsCrossTheGatherChunks) {
    // Rows longer than the loops' internal chunk, in a turned view.
    std::mt19937 rng(3);
    TestScreen t(1500, 3, false, 1);
    Surface src;
    FillRandom(src, 3, 1500, rng, true);
    std::vector<uint16_t> expected(t.screen.pixelCount, 0x1234);
    std::fill(t.screen.backBuffer, t.screen.backBuffer + t.screen.pixelCount, 0x1234);
    ReferenceDraw(src, expected, t.screen.layout, 1, 1500, 3, 0, 0, 0, 0, 0, 0, BlitBlend, 20);
    DrawSurface(src, t.screen, 0, 0, 0, 0, 0, 0, BlitBlend, 20);
    EXPECT_EQ(Pixels(t), expected);
}

TEST(BlitTest, BlendFormulaIsFloorPerChannel) {
    // Exhaustive over alpha, sampled over pixels, both layouts.
    for (const PixelLayout* layout : {&kLayout565, &kLayout555}) {
        const uint32_t gmax = layout->greenMask >> 5;
        for (uint32_t d = 0; d < 0x8000; d += 97)
            for (uint32_t s = 0; s < 0x8000; s += 89)
                for (uint32_t a = 0; a <= 32; ++a) {
                    auto ch = [](uint32_t v, uint32_t shift, uint32_t mask) {
                        return int32_t((v >> shift) & mask);
                    };
                    auto mix = [a](int32_t dd, int32_t ss) {
                        int32_t v = (ss - dd) * int32_t(a);
                        return dd + (v >= 0 ? v / 32 : -((-v + 31) / 32));
                    };
                    uint32_t expect =
                        uint32_t(mix(ch(d, layout->redShift, 31), ch(s, layout->redShift, 31))
                                 << layout->redShift) |
                        uint32_t(mix(ch(d, 5, gmax), ch(s, 5, gmax)) << 5) |
                        uint32_t(mix(ch(d, 0, 31), ch(s, 0, 31)));
                    ASSERT_EQ(BlendPixel(*layout, uint16_t(d), uint16_t(s), a), expect);
                }
    }
}

TEST(BlitTest, EmptySourceFailsAndClippedAwayDrawSucceeds) {
    TestScreen t(4, 4);
    Surface empty;
    EXPECT_EQ(DrawSurface(empty, t.screen, 0, 0, 0, 0, 0, 0, BlitCopy, 32), 0);
    Surface src;
    SizeSurface(src, 2, 2);
    EXPECT_EQ(DrawSurface(src, t.screen, 10, 10, 0, 0, 0, 0, BlitCopy, 32), 1);
    EXPECT_EQ(DrawSurface(src, t.screen, -5, 0, 0, 0, 0, 0, BlitCopy, 32), 1);
    EXPECT_EQ(DrawSurface(src, t.screen, 0, 0, 0, 0, 5, 0, BlitCopy, 32), 1);
    EXPECT_EQ(
        DrawSurface(src, t.screen, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0, BlitCopy, 32),
        1);
}

TEST(BlitTest, StripFillsRowsWithOneColourEach) {
    for (int orientation : {0, 1, 2, 4}) {
        TestScreen t(6, 5, false, orientation);
        Surface strip;
        SizeSurface(strip, 1, 4);
        const uint16_t colours[4] = {7, 8, 7, 9};
        std::copy(colours, colours + 4, strip.pixels);
        DrawStrip(strip, t.screen, 1, 1, 3, 0, BlitKeyed, 32);
        for (int32_t y = 0; y < int32_t(t.screen.height); ++y)
            for (int32_t x = 0; x < int32_t(t.screen.width); ++x) {
                uint16_t expect = 0;
                if (x >= 1 && x < 4 && y >= 1 && y < 5 && colours[y - 1] != 7)
                    expect = colours[y - 1];
                EXPECT_EQ(*ScreenPixel(t.screen, x, y), expect)
                    << orientation << " " << x << "," << y;
            }
    }
}

TEST(BlitTest, StripWithAlphaUsesItsFirstDrawnAlphaForAllRows) {
    TestScreen t(4, 4);
    Surface strip;
    SizeSurface(strip, 1, 4);
    SetSurfaceAlpha(strip);
    const uint8_t alpha[4] = {32, 16, 0, 32};
    std::fill(strip.pixels, strip.pixels + 4, uint16_t(0xFFFF));
    std::copy(alpha, alpha + 4, strip.alpha);
    // Rows 1..3 drawn (y = -1 skips strip row 0): alpha of strip row 1 is 16.
    DrawStrip(strip, t.screen, 0, -1, 4, 0, BlitBlend, 32);
    const uint16_t half = BlendPixel(kLayout565, 0, 0xFFFF, 16);
    for (uint32_t y = 0; y < 3; ++y) EXPECT_EQ(t.At(2, y), half) << y;
    EXPECT_EQ(t.At(2, 3), 0);
}

TEST(BlitTest, BlendSurfaceIntoSurfaceWithAlphaCarriesAlpha) {
    TestScreen t(1, 1);
    Surface dst;
    SizeSurface(dst, 3, 1);
    SetSurfaceAlpha(dst);
    std::fill(dst.pixels, dst.pixels + 3, uint16_t(0));
    std::fill(dst.alpha, dst.alpha + 3, uint8_t(0));
    Surface label;  // keyed, no alpha: key 0 at pixel 0
    SizeSurface(label, 3, 1);
    label.pixels[0] = 0, label.pixels[1] = 0xFFFF, label.pixels[2] = 0;
    BlendSurface(dst, t.screen, label, 0, 0, 0, 0, 0, 0, BlitCopy, 32);
    EXPECT_EQ(dst.pixels[1], 0xFFFF);
    EXPECT_EQ(dst.alpha[1], 32);
    EXPECT_EQ(dst.alpha[0], 0);
    EXPECT_EQ(dst.alpha[2], 0);
    Surface soft;
    SizeSurface(soft, 1, 1);
    SetSurfaceAlpha(soft);
    soft.pixels[0] = 0xFFFF, soft.alpha[0] = 16;
    BlendSurface(dst, t.screen, soft, 2, 0, 0, 0, 0, 0, BlitKeyedAlpha, 32);  // no key test
    EXPECT_EQ(dst.alpha[2], 16);
    EXPECT_EQ(dst.pixels[2], BlendPixel(kLayout565, 0, 0xFFFF, 16));
}

TEST(BlitTest, BlendSurfaceOntoItselfOverlapping) {
    TestScreen t(1, 1);
    Surface s;
    SizeSurface(s, 6, 1);
    for (uint16_t i = 0; i < 6; ++i) s.pixels[i] = uint16_t(10 + i);
    BlendSurface(s, t.screen, s, 2, 0, 4, 1, 0, 0, BlitCopy, 32);
    const uint16_t expected[6] = {10, 11, 10, 11, 12, 13};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.pixels[i], expected[i]) << i;
}

TEST(BlitTest, FillRectMapsCornersForEachOrientation) {
    for (int orientation : {0, 1, 2, 4}) {
        TestScreen t(6, 4);  // physical 6 x 4, drawn in the given logical frame
        Brush brush = MakeBrush(0x0F0F);
        EXPECT_EQ(SelectBrush(t.screen, &brush), nullptr);
        // Corners in the wrong order are swapped.
        FillRect(t.screen, 3, 2, 1, 0, 32, orientation);
        for (uint32_t py = 0; py < 4; ++py)
            for (uint32_t px = 0; px < 6; ++px) {
                bool inside = false;
                for (int32_t y = 0; y < 2; ++y)
                    for (int32_t x = 1; x < 3; ++x) {
                        int32_t qx, qy;
                        Physical(orientation, 6, 4, x, y, qx, qy);
                        inside |= qx == int32_t(px) && qy == int32_t(py);
                    }
                EXPECT_EQ(t.At(px, py), inside ? 0x0F0F : 0)
                    << orientation << " " << px << "," << py;
            }
    }
}

TEST(BlitTest, FillRectClipsAndBlendsWithTheBrushKept) {
    TestScreen t(4, 4);
    Brush white = MakeBrush(0xFFFF);
    SelectBrush(t.screen, &white);
    // A null brush is refused and the selected one stays.
    EXPECT_EQ(SelectBrush(t.screen, nullptr), nullptr);
    EXPECT_EQ(t.screen.errorCode, kScreenErrorNullBrush);
    FillRect(t.screen, -10, -10, 1, 100, 16, 0);
    EXPECT_EQ(t.At(0, 3), BlendPixel(kLayout565, 0, 0xFFFF, 16));
    EXPECT_EQ(t.At(1, 0), 0);
}

TEST(BlitTest, LinesAreStraightEndExclusiveAndClipped) {
    TestScreen t(5, 5);
    DrawLine(t.screen, 3, 1, 0, 1, 0, 0x1111, 32);  // right to left
    DrawLine(t.screen, 4, 4, 4, 2, 0, 0x2222, 32);  // bottom to top
    DrawLine(t.screen, 0, 0, 4, 4, 0, 0x3333, 32);  // diagonal: not drawn
    DrawLine(t.screen, 2, 3, 99, 3, 0, 0x4444, 32);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 5; ++x) {
            uint16_t expect = 0;
            if (y == 1 && x < 3) expect = 0x1111;
            if (x == 4 && (y == 2 || y == 3)) expect = 0x2222;
            if (y == 3 && x >= 2) expect = 0x4444;
            EXPECT_EQ(t.At(x, y), expect) << x << "," << y;
        }
}

TEST(BlitTest, DimClearAndCopyDimmed) {
    TestScreen t(3, 1);
    ClearScreen(t.screen, 255);
    EXPECT_EQ(t.At(2, 0), 0xFFFF);
    Surface snapshot;
    SizeSurface(snapshot, 3, 1);
    std::fill(snapshot.pixels, snapshot.pixels + 3, uint16_t(0xFFFF));
    DimScreen(t.screen, 16);
    EXPECT_EQ(t.At(0, 0), (15 << 11) | (31 << 5) | 15);
    CopyDimmed(snapshot, t.screen, 32);
    EXPECT_EQ(t.At(1, 0), 0xFFFF);
    CopyDimmed(snapshot, t.screen, 0);
    EXPECT_EQ(t.At(1, 0), 0);
    Surface none;
    ClearScreen(t.screen, 9);
    CopyDimmed(none, t.screen, 32);
    EXPECT_EQ(t.At(0, 0), 0);
}

}  // namespace
}  // namespace kra
