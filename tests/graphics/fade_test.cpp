#include "graphics/fade.h"

#include <gtest/gtest.h>

#include <vector>

#include "graphics/blit.h"
#include "platform/clock.h"
#include "platform/display.h"

namespace kra {
namespace {

struct Recorded {
    std::vector<std::vector<uint16_t>> frames;
    std::vector<uint32_t> ticks;
};

bool Record(void* context, const uint16_t* pixels, uint32_t width, uint32_t height, uint32_t) {
    auto* r = static_cast<Recorded*>(context);
    r->frames.emplace_back(pixels, pixels + width * height);
    r->ticks.push_back(platform::TickCount());
    return true;
}

struct FadeScreen {
    Recorded recorded;
    Screen screen;
    FadeScreen() {
        platform::UseVirtualClock(1000);
        platform::SetOemInfo("");
        ScreenOutputs outputs;
        outputs.sink.context = &recorded;
        outputs.sink.width = 2;
        outputs.sink.height = 1;
        outputs.sink.present = Record;
        EXPECT_EQ(OpenScreen(screen, outputs, 2), 1);
    }
    ~FadeScreen() { CloseScreen(screen); }
};

TEST(FadeTest, FadeOutCompoundsItsStepsAndEndsBlack) {
    FadeScreen f;
    f.screen.backBuffer[0] = 0xFFFF;
    f.screen.backBuffer[1] = MakeColour(kLayout565, 200, 100, 50);
    FadeOut(f.screen, 6);
    ASSERT_EQ(f.recorded.frames.size(), 6u);
    uint16_t a = 0xFFFF, b = MakeColour(kLayout565, 200, 100, 50);
    const uint32_t levels[] = {31, 25, 19, 13, 7};
    for (int i = 0; i < 5; ++i) {
        a = DimPixel(kLayout565, a, levels[i]);
        b = DimPixel(kLayout565, b, levels[i]);
        EXPECT_EQ(f.recorded.frames[i][0], a) << i;
        EXPECT_EQ(f.recorded.frames[i][1], b) << i;
    }
    EXPECT_EQ(f.recorded.frames[5], (std::vector<uint16_t>{0, 0}));
    // 50 ms per frame; no wait after the last dimmed frame.
    const std::vector<uint32_t> ticks = {1000, 1050, 1100, 1150, 1200, 1200};
    EXPECT_EQ(f.recorded.ticks, ticks);
}

TEST(FadeTest, FadeInScalesASavedCopy) {
    FadeScreen f;
    f.screen.backBuffer[0] = 0xFFFF;
    f.screen.backBuffer[1] = 0x1234;
    FadeIn(f.screen, 6);
    ASSERT_EQ(f.recorded.frames.size(), 5u);
    const uint32_t levels[] = {8, 14, 20, 26, 32};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.recorded.frames[i][0], DimPixel(kLayout565, 0xFFFF, levels[i])) << i;
        EXPECT_EQ(f.recorded.ticks[i], 1000u + 50u * uint32_t(i));
    }
    EXPECT_EQ(f.recorded.frames[4], (std::vector<uint16_t>{0xFFFF, 0x1234}));
    EXPECT_EQ(platform::TickCount(), 1250u);
}

TEST(FadeTest, StepsThatMissFullBrightnessStillEndOnTheFrame) {
    FadeScreen f;
    f.screen.backBuffer[0] = 0xFFFF;
    FadeIn(f.screen, 5);  // 8, 13, ... 28, then the full frame
    ASSERT_FALSE(f.recorded.frames.empty());
    EXPECT_EQ(f.recorded.frames.back()[0], 0xFFFF);
    f.recorded.frames.clear();
    FadeOut(f.screen, 0);  // a zero step still ends
    EXPECT_EQ(f.recorded.frames.back()[0], 0);
}

}  // namespace
}  // namespace kra
