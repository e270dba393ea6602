#include "graphics/screen.h"

#include <gtest/gtest.h>

#include "graphics/blit.h"
#include "platform/display.h"
#include "screen_fixture.h"
#include "support/surface_size.h"

namespace kra {
namespace {

using test::TestScreen;

TEST(ScreenTest, DeviceTablePrefixesInOrder) {
    EXPECT_EQ(ApplyDeviceTable("HTC Touch HD T8282", 2), 2);  // first prefix keeps the hint
    EXPECT_EQ(ApplyDeviceTable("htc touch hd", 4), 4);
    EXPECT_EQ(ApplyDeviceTable("HTC Touch Diamond", 2), 1);
    EXPECT_EQ(ApplyDeviceTable("HT", 2), 2);              // shorter than the prefix
    EXPECT_EQ(ApplyDeviceTable("Palm Treo 800w", 1), 2);  // 3 becomes 2
    EXPECT_EQ(ApplyDeviceTable("Raspberry Pi 4 Model B", 2), 2);
    EXPECT_EQ(ApplyDeviceTable("", 3), 2);  // DisplayMode 2 gives hint 3
    EXPECT_EQ(ApplyDeviceTable("", 7), 7);
}

TEST(ScreenTest, UiScaleFromDpi) {
    EXPECT_EQ(UiScaleForDpi(191), 1);
    EXPECT_EQ(UiScaleForDpi(192), 2);
    EXPECT_EQ(UiScaleForDpi(-1), 1);
}

TEST(ScreenTest, PathChoiceByHint) {
    platform::SetOemInfo("");
    MemoryFrame frame;
    frame.width = 4, frame.height = 2;
    ScreenOutputs outputs;
    outputs.frameBufferDevice = "/nonexistent/fb0";
    outputs.sink = MemoryFrameSink(frame);
    {
        Screen screen;  // frame buffer first, falls back to the sink
        EXPECT_EQ(OpenScreen(screen, outputs, 1), 1);
        EXPECT_EQ(screen.path, 2);
        EXPECT_TRUE(frame.keysCaptured);
        CloseScreen(screen);
        EXPECT_FALSE(frame.keysCaptured);
    }
    {
        Screen screen;
        EXPECT_EQ(OpenScreen(screen, outputs, 0), 0);
        EXPECT_EQ(screen.errorCode, kScreenErrorNoDisplay);
    }
    {
        ScreenOutputs none;
        none.frameBufferDevice = "/dev/null";  // not a frame buffer: refused
        Screen screen;
        EXPECT_EQ(OpenScreen(screen, none, 2), 0);
        EXPECT_EQ(screen.errorCode, kScreenErrorNoDisplay);
    }
    {
        // The device table overrides the user's hint.
        platform::SetOemInfo("Asus CANNES");
        Screen screen;
        EXPECT_EQ(OpenScreen(screen, outputs, 1), 1);
        CloseScreen(screen);
        platform::SetOemInfo("");
    }
}

TEST(ScreenTest, OrientationMapsOriginAndSteps) {
    TestScreen t(480, 640);
    Screen& s = t.screen;
    auto* base = reinterpret_cast<uint8_t*>(s.backBuffer);
    SetOrientation(s, kOrientation90);
    EXPECT_EQ(test::SizeOf(s), std::pair(640u, 480u));
    EXPECT_TRUE(s.swapped);
    // Logical (0, 0) is the start of the last physical row.
    EXPECT_EQ(reinterpret_cast<uint8_t*>(ScreenPixel(s, 0, 0)), base + 639 * 480 * 2);
    EXPECT_EQ(ScreenPixel(s, 639, 479), s.backBuffer + 479);
    SetOrientation(s, kOrientation180);
    EXPECT_EQ(ScreenPixel(s, 0, 0), s.backBuffer + 480 * 640 - 1);
    EXPECT_FALSE(s.swapped);
    SetOrientation(s, kOrientation270);
    EXPECT_EQ(ScreenPixel(s, 0, 0), s.backBuffer + 479);
    EXPECT_EQ(ScreenPixel(s, 639, 479), s.backBuffer + 639 * 480);
    SetOrientation(s, 3);  // not an orientation: ignored
    EXPECT_EQ(s.orientation, kOrientation270);
    SetOrientation(s, kOrientation0);
    EXPECT_EQ(ScreenPixel(s, 1, 1), s.backBuffer + 481);
}

TEST(ScreenTest, PresentCopiesAndSuspendRefuses) {
    TestScreen t(3, 2, true);
    EXPECT_EQ(t.screen.layout.redShift, 10u);  // the sink asked for 555
    ClearScreen(t.screen, 0x11);
    EXPECT_EQ(BeginFrame(t.screen), 1);
    EXPECT_EQ(Present(t.screen), 1);
    EXPECT_EQ(t.frame.presentCount, 1u);
    EXPECT_EQ(t.frame.pixels[5], 0x1111);
    SuspendScreen(t.screen);
    EXPECT_FALSE(t.frame.keysCaptured);
    ClearScreen(t.screen, 0x22);
    EXPECT_EQ(BeginFrame(t.screen), 0);
    EXPECT_EQ(t.screen.errorCode, kScreenErrorSuspended);
    EXPECT_EQ(Present(t.screen), 0);
    EXPECT_EQ(t.frame.presentCount, 1u);
    EXPECT_EQ(t.frame.pixels[5], 0x1111);  // the display is as it was
    ResumeScreen(t.screen);
    EXPECT_TRUE(t.frame.keysCaptured);
    EXPECT_EQ(Present(t.screen), 1);
    EXPECT_EQ(t.frame.pixels[0], 0x2222);
}

TEST(ScreenTest, MakeColourInBothLayouts) {
    EXPECT_EQ(MakeColour(kLayout565, 255, 255, 255), 0xFFFF);
    EXPECT_EQ(MakeColour(kLayout565, 45, 100, 255), (5 << 11) | (25 << 5) | 31);
    EXPECT_EQ(MakeColour(kLayout555, 45, 100, 255), (5 << 10) | (12 << 5) | 31);
}

TEST(SurfaceTest, BuffersGrowAndAreReused) {
    Surface s;
    ASSERT_TRUE(SizeSurface(s, 10, 10));
    uint16_t* first = s.pixels;
    EXPECT_EQ(s.pixelsCapacity, 200u);
    ASSERT_TRUE(SizeSurface(s, 5, 5));
    EXPECT_EQ(s.pixels, first);
    EXPECT_EQ(s.pixelsCapacity, 200u);
    ASSERT_TRUE(SetSurfaceAlpha(s));
    EXPECT_EQ(s.alphaSize, 25u);
    ASSERT_TRUE(SizeSurface(s, 20, 20));  // the alpha plane follows the size
    EXPECT_EQ(s.alphaSize, 400u);
    EXPECT_GE(s.alphaCapacity, 400u);
    ResetSurface(s, false);
    EXPECT_EQ(s.width, 0u);
    EXPECT_FALSE(s.HasAlpha());
    EXPECT_NE(s.pixels, nullptr);
    ResetSurface(s, true);
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_FALSE(SizeSurface(s, kMaxSurfaceSide + 1, 1));
    EXPECT_FALSE(SizeSurface(s, 16000, 16000));  // over the pixel limit
    EXPECT_EQ(s.width, 0u);
    Surface moved(std::move(s));
    EXPECT_EQ(s.pixels, nullptr);
}

}  // namespace
}  // namespace kra
