#include <gtest/gtest.h>

#include "graphics/image.h"
#include "image_files.h"
#include "platform/files.h"
#include "platform/image-decode.h"
#include "screen_fixture.h"
#include "support/surface_size.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::TestScreen;

int Load(Surface& s, const Screen& screen, const std::vector<uint8_t>& bytes, bool pngName,
         int mode = kScaleNatural, uint32_t bw = 0, uint32_t bh = 0) {
    return LoadImageBytes(s, screen, bytes.data(), bytes.size(), pngName, mode, bw, bh);
}

std::vector<uint8_t> Rgb(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> v;
    for (uint32_t i = 0; i < w * h; ++i) v.insert(v.end(), {r, g, b});
    return v;
}

TEST(ImageTest, PngAlphaBecomesAPlaneOnlyForPngNames) {
    TestScreen t(4, 4);
    // R, G, B, A for five pixels.
    const std::vector<uint8_t> rgba = {255, 0, 0, 255, 0,   255, 0,   128, 8,   4,
                                       8,   7, 0, 0,   255, 8,   255, 255, 255, 0};
    const auto png = test::PngRgba(5, 1, rgba);
    Surface s;
    ASSERT_EQ(Load(s, t.screen, png, true), 1);
    ASSERT_TRUE(s.HasAlpha());
    EXPECT_EQ(s.width, 5u);
    const uint16_t pixels[5] = {0xF800, 0x07E0, (1 << 11) | (1 << 5) | 1, 0x001F, 0xFFFF};
    const uint8_t alpha[5] = {32, 16, 1, 1, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.pixels[i], pixels[i]) << i;
        EXPECT_EQ(s.alpha[i], alpha[i]) << i;
    }
    // The same bytes under another name: opaque, laid over black.
    ASSERT_EQ(Load(s, t.screen, png, false), 1);
    EXPECT_FALSE(s.HasAlpha());
    EXPECT_EQ(s.pixels[0], 0xF800);
    EXPECT_EQ(s.pixels[1], (128 >> 2) << 5);
    EXPECT_EQ(s.pixels[4], 0);
}

TEST(ImageTest, PngKindsWithAndWithoutAlpha) {
    TestScreen t(4, 4, true);  // RGB555
    Surface s;
    const auto rgb = test::PngBytes(2, 1, 8, 2, {255, 255, 255, 0, 0, 0}, 6);
    ASSERT_EQ(Load(s, t.screen, rgb, true), 1);
    EXPECT_FALSE(s.HasAlpha());
    EXPECT_EQ(s.pixels[0], 0x7FFF);
    EXPECT_EQ(s.pixels[1], 0);
    // Palette with a transparency chunk: 4-bit indices 0, 1.
    const auto pal = test::PngBytes(2, 1, 4, 3, {0x01}, 1, {10, 20, 30, 255, 0, 0}, {0});
    ASSERT_EQ(Load(s, t.screen, pal, true), 1);
    ASSERT_TRUE(s.HasAlpha());
    EXPECT_EQ(s.alpha[0], 0);
    EXPECT_EQ(s.alpha[1], 32);
    EXPECT_EQ(s.pixels[1], 31 << 10);
    // 16-bit grey.
    const auto grey = test::PngBytes(2, 1, 16, 0, {0xFF, 0xFF, 0, 0}, 4);
    ASSERT_EQ(Load(s, t.screen, grey, true), 1);
    EXPECT_FALSE(s.HasAlpha());
    EXPECT_EQ(s.pixels[0], 0x7FFF);
    EXPECT_EQ(s.pixels[1], 0);
}

TEST(ImageTest, JpegNeverHasAlpha) {
    TestScreen t(4, 4);
    Surface s;
    for (bool progressive : {false, true}) {
        const auto jpg = test::JpegBytes(16, 8, Rgb(16, 8, 255, 255, 255), 3, progressive);
        ASSERT_EQ(Load(s, t.screen, jpg, true), 1);
        EXPECT_FALSE(s.HasAlpha());
        EXPECT_EQ(test::SizeOf(s), std::pair(16u, 8u));
        EXPECT_EQ(s.pixels[0], 0xFFFF);
    }
    const auto grey = test::JpegBytes(8, 8, std::vector<uint8_t>(64, 0), 1);
    ASSERT_EQ(Load(s, t.screen, grey, false), 1);
    EXPECT_EQ(s.pixels[10], 0);
    const auto cmyk = test::JpegBytes(8, 8, std::vector<uint8_t>(256, 0), 4);
    ASSERT_EQ(Load(s, t.screen, cmyk, false), 1);
    EXPECT_EQ(s.width, 8u);
}

TEST(ImageTest, BmpRowsPaddingAndOrder) {
    TestScreen t(4, 4);
    Surface s;
    // 3 x 2, B, G, R; top row red, white, black; bottom row blue, green, red.
    const std::vector<uint8_t> bgr = {0,   0, 255, 255, 255, 255, 0, 0, 0,
                                      255, 0, 0,   0,   255, 0,   0, 0, 255};
    const uint16_t expected[6] = {0xF800, 0xFFFF, 0, 0x001F, 0x07E0, 0xF800};
    for (bool topDown : {false, true}) {
        ASSERT_EQ(Load(s, t.screen, test::BmpBytes(3, 2, 24, bgr, topDown), false), 1);
        ASSERT_EQ(s.width, 3u);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(s.pixels[i], expected[i]) << topDown << i;
    }
    std::vector<uint8_t> bgrx;
    for (size_t i = 0; i < bgr.size(); i += 3)
        bgrx.insert(bgrx.end(), {bgr[i], bgr[i + 1], bgr[i + 2], 0});
    ASSERT_EQ(Load(s, t.screen, test::BmpBytes(3, 2, 32, bgrx), true), 1);
    EXPECT_FALSE(s.HasAlpha());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.pixels[i], expected[i]) << i;
}

TEST(ImageTest, DamagedFilesFailCleanly) {
    TestScreen t(4, 4);
    Surface s;
    SizeSurface(s, 2, 2);
    const auto png = test::PngRgba(8, 8, std::vector<uint8_t>(256, 200));
    for (size_t cut : {size_t(4), size_t(20), size_t(40), png.size() - 20}) {
        std::vector<uint8_t> part(png.begin(), png.begin() + long(cut));
        EXPECT_EQ(Load(s, t.screen, part, true), 0) << cut;
        EXPECT_EQ(s.width, 0u);
    }
    // A header that claims a huge picture is refused before decoding.
    auto huge = test::PngBytes(1, 1, 8, 0, {0}, 1);
    huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x00, huge[19] = 0x00;  // width 65536
    huge[20] = 0x00, huge[21] = 0x01;                                    // height 65536+
    EXPECT_EQ(Load(s, t.screen, huge, true), 0);
    auto bmp = test::BmpBytes(3, 2, 24, std::vector<uint8_t>(18, 1));
    bmp.pop_back();
    EXPECT_EQ(Load(s, t.screen, bmp, false), 0);
    auto rle = test::BmpBytes(3, 2, 24, std::vector<uint8_t>(18, 1));
    rle[30] = 1;  // compressed
    EXPECT_EQ(Load(s, t.screen, rle, false), 0);
    const auto jpg = test::JpegBytes(32, 32, Rgb(32, 32, 10, 20, 30), 3);
    std::vector<uint8_t> head(jpg.begin(), jpg.begin() + 30);
    EXPECT_EQ(Load(s, t.screen, head, false), 0);
    std::vector<uint8_t> truncated(jpg.begin(), jpg.begin() + long(jpg.size() / 2));
    Load(s, t.screen, truncated, false);  // libjpeg pads what is missing; it must not crash
    const std::vector<uint8_t> junk = {'B', 'M', 1, 2, 3};
    EXPECT_EQ(Load(s, t.screen, junk, false), 0);
    EXPECT_EQ(Load(s, t.screen, {}, false), 0);
}

TEST(ImageTest, TargetSizes) {
    struct Case {
        bool fit;  // FitSize, else the thumbnail rule
        uint32_t w, h, boxW, boxH, wantW, wantH;
    } cases[] = {
        // 600 x 400 into 120 x 120 and 320 x 240: see ThumbnailAndFitDecode.
        {false, 100, 80, 120, 120, 100, 80},
        {false, 400, 600, 120, 120, 120, 180},
        {false, 600, 400, 100, 120, 120, 80},   // taller box: width is big
        {false, 300, 110, 120, 120, 300, 110},  // one side within the box
        {true, 641, 480, 320, 240, 320, 240},
        {true, 300, 301, 300, 300, 300, 300},  // 299 snaps to the box
        {true, 50, 100, 200, 200, 100, 200},   // enlarging
        {true, 0, 100, 200, 200, 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t w = 0, h = 0;
        if (c.fit) {
            FitSize(c.w, c.h, c.boxW, c.boxH, w, h);
        } else {
            ImageTargetSize(c.w, c.h, kScaleThumbnail, c.boxW, c.boxH, w, h);
        }
        EXPECT_EQ(std::pair(w, c.w == 0 ? 0 : h), std::pair(c.wantW, c.wantH)) << c.w << "x" << c.h;
    }
}

TEST(ImageTest, ThumbnailAndFitDecode) {
    TestScreen t(4, 4);
    Surface s;
    // Left half red, right half blue.
    std::vector<uint8_t> px;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x)
            px.insert(px.end(), {uint8_t(x < 300 ? 255 : 0), 0, uint8_t(x < 300 ? 0 : 255)});
    const auto jpg = test::JpegBytes(600, 400, px, 3);
    ASSERT_EQ(Load(s, t.screen, jpg, false, kScaleThumbnail, 120, 120), 1);
    EXPECT_EQ(test::SizeOf(s), std::pair(180u, 120u));
    EXPECT_GE(s.pixels[60 * 180 + 10] >> 11, 28);
    EXPECT_GE(s.pixels[60 * 180 + 170] & 31, 28);
    ASSERT_EQ(Load(s, t.screen, jpg, false, kScaleFit, 320, 240), 1);
    EXPECT_EQ(test::SizeOf(s), std::pair(320u, 213u));
    // A uniform picture stays exactly uniform when enlarged or reduced.
    const auto png = test::PngBytes(40, 20, 8, 2, Rgb(40, 20, 200, 100, 40), 120);
    for (uint32_t box : {80u, 13u}) {
        ASSERT_EQ(Load(s, t.screen, png, true, kScaleFit, box, box), 1);
        EXPECT_EQ(s.width, box);
        for (uint32_t i = 0; i < s.width * s.height; ++i)
            ASSERT_EQ(s.pixels[i], MakeColour(kLayout565, 200, 100, 40)) << box << " " << i;
    }
    // Reducing averages: black and white columns become mid grey.
    const auto stripes = test::PngBytes(4, 1, 8, 0, {0, 255, 0, 255}, 4);
    ASSERT_EQ(Load(s, t.screen, stripes, true, kScaleFit, 2, 2), 1);
    ASSERT_EQ(s.width, 2u);
    EXPECT_EQ(s.pixels[0], (16 << 11) | (32 << 5) | 16);
    // A 0 x 0 box is the screen.
    ASSERT_EQ(Load(s, t.screen, png, true, kScaleFit, 0, 0), 1);
    EXPECT_EQ(s.width, 4u);
}

TEST(ImageTest, SnapshotAndFilesByContent) {
    TestScreen t(3, 2);
    for (uint16_t i = 0; i < 6; ++i) t.screen.backBuffer[i] = uint16_t(i * 1000);
    SetOrientation(t.screen, kOrientation90);
    Surface s;
    ASSERT_EQ(LoadImage(s, t.screen, u"", kScaleNatural, 0, 0), 1);
    EXPECT_EQ(test::SizeOf(s), std::pair(3u, 2u));  // physical size whatever the orientation
    EXPECT_EQ(s.pixels[5], 5000);

    test::TempTree dir;
    for (const char* name : {"kra.bmp", "cover.PNG"}) {
        dir.Write(name, test::PngRgba(1, 1, {0, 0, 255, 128}));
        ASSERT_EQ(LoadImage(s, t.screen, dir.Core(name), kScaleNatural, 0, 0), 1) << name;
        EXPECT_EQ(s.HasAlpha(), std::string(name) == "cover.PNG") << name;
    }
    EXPECT_EQ(LoadImage(s, t.screen, dir.Core("none.png"), kScaleNatural, 0, 0), 0);
}

}  // namespace
}  // namespace kra
