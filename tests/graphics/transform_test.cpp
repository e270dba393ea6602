#include <gtest/gtest.h>

#include <random>

#include "graphics/image.h"
#include "screen_fixture.h"
#include "support/surface_size.h"

namespace kra {
namespace {

using test::TestScreen;

// Pixel (x, y) of a pattern where every position differs.
uint16_t Pattern(uint32_t x, uint32_t y) {
    return uint16_t(0x2000 + x + y * 211);
}

Surface Patterned(uint32_t w, uint32_t h) {
    Surface s;
    SizeSurface(s, w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) s.pixels[y * w + x] = Pattern(x, y);
    return s;
}

uint16_t At(const Surface& s, uint32_t x, uint32_t y) {
    return s.pixels[y * s.width + x];
}

TEST(TransformTest, FillCropAndMirror) {
    TestScreen t(6, 5);
    Surface s;
    ASSERT_EQ(FillSurface(s, t.screen, 0, 3, 0xAB, true, 7), 1);
    EXPECT_EQ(s.width, 6u);  // 0 is the screen width
    EXPECT_EQ(s.pixels[17], 0xABAB);
    EXPECT_EQ(s.alpha[17], 7);
    ASSERT_EQ(FillSurface(s, t.screen, 2, 2, 0, false, 0), 1);
    EXPECT_FALSE(s.HasAlpha());

    Surface src = Patterned(5, 4);
    SetSurfaceAlpha(src);
    for (uint32_t i = 0; i < 20; ++i) src.alpha[i] = uint8_t(i);
    Surface crop;
    ASSERT_EQ(CropSurface(crop, src, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(test::SizeOf(crop), std::pair(5u, 4u));
    EXPECT_EQ(At(crop, 4, 3), Pattern(4, 3));
    ASSERT_EQ(CropSurface(crop, src, 3, 3, 3, 2, 0x55), 1);
    EXPECT_EQ(At(crop, 0, 0), Pattern(3, 2));
    EXPECT_EQ(At(crop, 1, 1), Pattern(4, 3));
    EXPECT_EQ(At(crop, 2, 0), 0x5555);  // beyond the source's right edge
    EXPECT_EQ(At(crop, 0, 2), 0x5555);  // below its end
    EXPECT_EQ(crop.alpha[0], 13);
    ASSERT_EQ(CropSurface(crop, src, 1, 4, 2, 0, 0), 1);  // the middle column
    EXPECT_EQ(crop.width, 1u);
    EXPECT_EQ(At(crop, 0, 3), Pattern(2, 3));

    Surface mirror;
    ASSERT_EQ(MirrorSurface(mirror, src), 1);
    EXPECT_EQ(At(mirror, 0, 1), Pattern(4, 1));
    EXPECT_EQ(At(mirror, 4, 1), Pattern(0, 1));
    EXPECT_EQ(mirror.alpha[5], 9);
    ASSERT_EQ(MirrorSurface(src, src), 1);  // in place
    EXPECT_EQ(At(src, 1, 2), Pattern(3, 2));
    Surface empty;
    EXPECT_EQ(MirrorSurface(mirror, empty), 0);
}

TEST(TransformTest, ReflectionTakesRowsFromTheBottomUp) {
    Surface src = Patterned(3, 100);
    Surface refl;
    ASSERT_EQ(MakeReflection(refl, src, 0), 1);
    EXPECT_EQ(test::SizeOf(refl), std::pair(3u, 50u));
    EXPECT_EQ(At(refl, 2, 0), Pattern(2, 99));
    EXPECT_EQ(At(refl, 1, 49), Pattern(1, 50));
    ASSERT_TRUE(refl.HasAlpha());
    for (uint32_t i = 0; i < refl.alphaSize; ++i) ASSERT_EQ(refl.alpha[i], 20);
    ASSERT_EQ(MakeReflection(refl, src, 500), 1);  // capped at the source
    EXPECT_EQ(refl.height, 100u);
}

TEST(TransformTest, ScaleNearestAndStrips) {
    TestScreen t(2, 2);
    Surface strip = Patterned(1, 4);
    Surface out;
    ASSERT_EQ(ScaleSurface(out, t.screen, strip, 1, 8, false, false), 1);
    EXPECT_EQ(out.width, 1u);
    for (uint32_t y = 0; y < 8; ++y) EXPECT_EQ(out.pixels[y], Pattern(0, y / 2));
    Surface src = Patterned(2, 2);
    SetSurfaceAlpha(src);
    const uint8_t a[4] = {1, 2, 3, 4};
    std::copy(a, a + 4, src.alpha);
    ASSERT_EQ(ScaleSurface(out, t.screen, src, 4, 4, false, false), 1);
    ASSERT_TRUE(out.HasAlpha());
    EXPECT_EQ(At(out, 1, 2), Pattern(0, 1));
    EXPECT_EQ(At(out, 3, 3), Pattern(1, 1));
    EXPECT_EQ(out.alpha[15], 4);
    ASSERT_EQ(ScaleSurface(out, t.screen, src, 0, 1, false, false), 1);  // 0 keeps the width
    EXPECT_EQ(test::SizeOf(out), std::pair(2u, 1u));
    ASSERT_EQ(ScaleSurface(src, t.screen, src, 6, 3, false, false), 1);  // into itself
    EXPECT_EQ(At(src, 5, 2), Pattern(1, 1));
}

TEST(TransformTest, ScaleSmoothIsBilinearAndOpaque) {
    TestScreen t(2, 2);
    Surface src;
    SizeSurface(src, 2, 1);
    SetSurfaceAlpha(src);
    src.pixels[0] = 0, src.pixels[1] = 0xFFFF;
    Surface out;
    ASSERT_EQ(ScaleSurface(out, t.screen, src, 4, 2, true, false), 1);
    EXPECT_FALSE(out.HasAlpha());
    EXPECT_EQ(At(out, 0, 0), 0);
    // Halfway: (0 * 128 + 31 * 128) >> 8 = 15 for red and blue, 31 for green.
    EXPECT_EQ(At(out, 1, 1), (15 << 11) | (31 << 5) | 15);
    EXPECT_EQ(At(out, 2, 0), 0xFFFF);
    EXPECT_EQ(At(out, 3, 0), 0xFFFF);  // the edge neighbour is the edge itself
    ASSERT_EQ(ScaleSurface(out, t.screen, Patterned(641, 480), 320, 240, true, true), 1);
    EXPECT_EQ(test::SizeOf(out), std::pair(320u, 240u));
}

TEST(TransformTest, RotateBySquareAngles) {
    Surface src = Patterned(5, 3);
    Surface out;
    ASSERT_EQ(RotateSurface(out, src, 0, 0), 1);
    ASSERT_EQ(test::SizeOf(out), std::pair(5u, 3u));
    for (uint32_t i = 0; i < 15; ++i) EXPECT_EQ(out.pixels[i], src.pixels[i]);
    ASSERT_EQ(RotateSurface(out, src, 90, 0x11), 1);
    EXPECT_EQ(test::SizeOf(out), std::pair(3u, 5u));
    // Inverse mapping: result (col, row) reads source (row, 3 - col).
    EXPECT_EQ(At(out, 1, 4), Pattern(4, 2));
    EXPECT_EQ(At(out, 2, 0), Pattern(0, 1));
    EXPECT_EQ(At(out, 0, 0), 0x1111);  // falls outside the source
    ASSERT_EQ(RotateSurface(out, src, 180, 0), 1);
    EXPECT_EQ(test::SizeOf(out), std::pair(5u, 3u));
    ASSERT_EQ(RotateSurface(out, src, 30, 0), 1);
    // cos 30 = 0.866, sin 30 = 0.5: x from -1 to 4, y from 0 to 5.
    EXPECT_EQ(test::SizeOf(out), std::pair(5u, 5u));
}

TEST(TransformTest, WarpAlbumFlowSideCover) {
    TestScreen t(2, 2);
    Surface cover = Patterned(200, 200);
    Surface flow;
    const WarpCorners corners{0, 24, 100, 0, 0, 164, 100, 188};
    ASSERT_EQ(WarpSurface(flow, t.screen, cover, corners, 0x10101010, true, false), 1);
    ASSERT_EQ(test::SizeOf(flow), std::pair(100u, 282u));  // 189 + 94 - 1
    EXPECT_FALSE(flow.HasAlpha());
    EXPECT_EQ(At(flow, 0, 0), 0x1010);  // the key
    // Column 0: rows 24..164 hold source column 0 stretched by 200 * 256 / 141.
    EXPECT_EQ(At(flow, 0, 23), 0x1010);
    EXPECT_EQ(At(flow, 0, 24), Pattern(0, 0));
    EXPECT_EQ(At(flow, 0, 25), Pattern(0, 1));
    EXPECT_EQ(At(flow, 0, 164), Pattern(0, 198));
    // Its reflection: the edge pixel first, darkened to 20/32.
    EXPECT_EQ(At(flow, 0, 165), DimPixel(kLayout565, Pattern(0, 198), 20));
    EXPECT_EQ(At(flow, 0, 166), DimPixel(kLayout565, At(flow, 0, 163), 20));
    EXPECT_EQ(At(flow, 0, 258), DimPixel(kLayout565, At(flow, 0, 71), 20));
    EXPECT_EQ(At(flow, 0, 259), 0x1010);
    // Column 50: top 12, bottom 175, source column 100.
    EXPECT_EQ(At(flow, 50, 11), 0x1010);
    EXPECT_EQ(At(flow, 50, 12), Pattern(100, 0));
    EXPECT_NE(At(flow, 50, 175), 0x1010);
    EXPECT_EQ(At(flow, 50, 176), DimPixel(kLayout565, At(flow, 50, 175), 20));
    // Column 99: top 0, bottom 187; its reflection reaches the last row.
    EXPECT_EQ(At(flow, 99, 0), Pattern(198, 0));
    EXPECT_EQ(At(flow, 99, 281), DimPixel(kLayout565, At(flow, 99, 94), 20));

    ASSERT_EQ(WarpSurface(flow, t.screen, cover, corners, 0, true, true), 1);
    ASSERT_TRUE(flow.HasAlpha());
    EXPECT_EQ(flow.alpha[23 * 100], 0);
    EXPECT_EQ(flow.alpha[24 * 100], 32);
    EXPECT_EQ(flow.alpha[258 * 100], 32);
    EXPECT_EQ(flow.alpha[259 * 100], 0);
    EXPECT_EQ(flow.pixels[0], 0);
}

TEST(TransformTest, WarpHorizontalTrapezoidAndRefusals) {
    TestScreen t(2, 2);
    Surface src = Patterned(8, 8);
    Surface out;
    // Top edge 2..6, bottom edge 0..8, rows 0..8.
    const WarpCorners corners{2, 0, 6, 0, 0, 8, 8, 8};
    ASSERT_EQ(WarpSurface(out, t.screen, src, corners, 0, true, true), 1);
    EXPECT_EQ(test::SizeOf(out), std::pair(8u, 9u + 4u - 1u));
    EXPECT_EQ(out.alpha[0], 0);  // left of the top span
    EXPECT_EQ(At(out, 2, 0), Pattern(0, 0));
    EXPECT_EQ(out.alpha[1], 0);
    EXPECT_EQ(out.alpha[7], 0);  // right of the top span
    // Reflection rows 9..11 mirror rows 8, 7, 6 within their spans.
    EXPECT_EQ(At(out, 3, 9), DimPixel(kLayout565, At(out, 3, 8), 20));
    EXPECT_EQ(At(out, 3, 11), DimPixel(kLayout565, At(out, 3, 6), 20));
    EXPECT_EQ(out.alpha[11 * 8 + 3], 32);
    const WarpCorners skew{0, 0, 5, 1, 1, 6, 6, 7};
    EXPECT_EQ(WarpSurface(out, t.screen, src, skew, 0, false, false), 0);
    const WarpCorners negative{-5, 0, 5, 0, 0, 6, 6, 6};
    EXPECT_EQ(WarpSurface(out, t.screen, src, negative, 0, false, false), 0);
    Surface empty;
    EXPECT_EQ(WarpSurface(out, t.screen, empty, corners, 0, false, false), 0);
}

TEST(TransformTest, RandomCornersStayInside) {
    // Whatever figure is asked for, nothing is written outside the result.
    TestScreen t(2, 2);
    std::mt19937 rng(11);
    Surface src = Patterned(13, 9);
    for (int i = 0; i < 300; ++i) {
        Surface out;
        int32_t a = int32_t(rng() % 60), b = int32_t(rng() % 60), c = int32_t(rng() % 60),
                d = int32_t(rng() % 60);
        WarpCorners v{a, b, c, d, a, int32_t(rng() % 60), c, int32_t(rng() % 60)};
        WarpCorners h{a, b, c, b, int32_t(rng() % 60), d, int32_t(rng() % 60), d};
        WarpSurface(out, t.screen, src, v, 0, rng() % 2, rng() % 2);
        WarpSurface(out, t.screen, src, h, 0, rng() % 2, rng() % 2);
        RotateSurface(out, src, float(rng() % 720) - 360.0f, 0);
    }
}

}  // namespace
}  // namespace kra
