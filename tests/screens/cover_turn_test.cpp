#include "screens/cover_turn.h"

#include <gtest/gtest.h>

#include <vector>

#include "graphics/blit.h"
#include "platform/clock.h"
#include "screens_fixture.h"

namespace kra {
namespace {

TEST(TurnCut, TallImagesAreCutFromTheirVisiblePart) {
    TurnCut c = TurnCutRows(2000, -500, 800);
    EXPECT_EQ(c.start, 500u);
    EXPECT_EQ(c.count, 900u);  // rows 500..1399
    EXPECT_EQ(c.drawY, 0);
    c = TurnCutRows(1000, -600, 800);
    EXPECT_EQ(c.start, 600u);
    EXPECT_EQ(c.count, 400u);  // rows 600..999, never past the end
    c = TurnCutRows(1000, 40, 800);
    EXPECT_EQ(c.start, 0u);
    EXPECT_EQ(c.count, 900u);
    EXPECT_EQ(c.drawY, 40);
    c = TurnCutRows(300, -5000, 800);  // scrolled past its end
    EXPECT_EQ(c.count, 0u);
    c = TurnCutRows(300, 10, 800);
    EXPECT_EQ(c.count, 300u);
}

TEST(TurnCorners, StepsOfAnEighthAndAThirtySecond) {
    int32_t width = 0;
    WarpCorners c = TurnCorners(160, 320, 0, 1, false, width);
    EXPECT_EQ(width, 140);
    EXPECT_EQ(c.x0, 0);
    EXPECT_EQ(c.y0, 0);
    EXPECT_EQ(c.y2, 320);  // the fixed left edge keeps its full height
    EXPECT_EQ(c.x1, 140);
    EXPECT_EQ(c.y1, 10);
    EXPECT_EQ(c.y3, 310);
    c = TurnCorners(160, 320, 6, 2, false, width);
    EXPECT_EQ(width, 20);
    EXPECT_EQ(c.x1, 20);  // the fixed right edge
    EXPECT_EQ(c.y1, 0);
    EXPECT_EQ(c.y3, 320);
    EXPECT_EQ(c.y0, 70);
    c = TurnCorners(160, 320, 0, 1, true, width);
    EXPECT_EQ(width, 20);
    EXPECT_EQ(c.y1, 80);  // a quarter inside
    c = TurnCorners(160, 320, 6, 1, true, width);
    EXPECT_EQ(width, 140);
    EXPECT_EQ(c.y1, 20);
    // Tiny figures never give negative corners.
    c = TurnCorners(3, 2, 6, 2, true, width);
    EXPECT_GE(c.y0, 0);
    EXPECT_GE(c.y2, c.y0);
}

class CoverTurnTest : public test::ScreensTest {
  protected:
    // Leftmost and rightmost x in row y whose pixel is `colour`; -1 when none.
    std::pair<int32_t, int32_t> Span(int32_t y, uint16_t colour) {
        int32_t lo = -1, hi = -1;
        for (int32_t x = 0; x < int32_t(g_screen.width); ++x)
            if (Pixel(x, y) == colour) {
                if (lo < 0) lo = x;
                hi = x;
            }
        return {lo, hi};
    }
};

TEST_F(CoverTurnTest, EachSideKeepsItsEdgeStill) {
    const uint16_t red = MakeColour(g_screen.layout, 255, 0, 0);
    const uint16_t blue = MakeColour(g_screen.layout, 0, 0, 255);
    Surface front, back;
    test::Solid(front, 320, 320, red);
    test::Solid(back, 320, 320, blue);
    for (int side : {1, 2}) {
        std::vector<std::pair<int32_t, int32_t>> away, in;
        TurnHooks hooks;
        hooks.onFrame = [&](Screen&, int frame) {
            if (frame >= 3 && frame <= 9) away.push_back(Span(260, red));
            if (frame >= 10 && frame <= 16) in.push_back(Span(260, blue));
        };
        ASSERT_EQ(TurnOver(g_screen, front, back, 100, 100, false, false, side, false, hooks), 1);
        ASSERT_EQ(away.size(), 7u);
        ASSERT_EQ(in.size(), 7u);
        for (size_t i = 1; i < 7; ++i) {
            if (side == 1) {
                EXPECT_EQ(away[i].first, away[0].first) << i;
                EXPECT_LT(away[i].second, away[i - 1].second) << i;
                EXPECT_EQ(in[i].first, in[0].first) << i;
                EXPECT_GT(in[i].second, in[i - 1].second) << i;
            } else {
                EXPECT_EQ(away[i].second, away[0].second) << i;
                EXPECT_GT(away[i].first, away[i - 1].first) << i;
                EXPECT_EQ(in[i].second, in[0].second) << i;
                EXPECT_LT(in[i].first, in[i - 1].first) << i;
            }
        }
        // The last frame shows the back whole at its place.
        const auto end = Span(260, blue);
        EXPECT_EQ(end.first, 80);
        EXPECT_EQ(end.second, 399);
        EXPECT_EQ(Pixel(240, 100), blue);
        EXPECT_NE(Pixel(240, 99), blue);
    }
}

TEST_F(CoverTurnTest, EighteenPacedFramesAndTheFlag) {
    Surface front, back;
    test::Solid(front, 200, 200, 0x1234);
    test::Solid(back, 200, 2000, 0x4321);
    bool shown = false;
    int frames = 0, stops = 0, starts = 0;
    std::vector<uint32_t> times;
    TurnHooks hooks;
    hooks.listShown = &shown;
    hooks.stopMotion = [&] { ++stops; };
    hooks.startMotion = [&] { ++starts; };
    hooks.onFrame = [&](Screen&, int frame) {
        EXPECT_EQ(frame, ++frames);
        EXPECT_EQ(shown, frame > 9);
        times.push_back(platform::TickCount());
    };
    const uint32_t t0 = platform::TickCount();
    TurnOver(g_screen, front, back, 50, -500, true, false, 1, false, hooks);
    EXPECT_EQ(frames, kTurnTotalFrames);
    EXPECT_TRUE(shown);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(starts, 1);
    EXPECT_GE(platform::TickCount() - t0, 462u);
    // Flow mode leaves the flag alone and draws its background under every frame.
    int backgrounds = 0;
    hooks.drawBackground = [&](Screen& s) {
        ++backgrounds;
        ClearScreen(s, 0x22);
    };
    hooks.onFrame = [&](Screen&, int frame) {
        if (frame == 9) {
            EXPECT_EQ(Pixel(2, 700), 0x2222);
        }
    };
    TurnOver(g_screen, back, front, -500, 50, false, false, 2, true, hooks);
    EXPECT_TRUE(shown);
    EXPECT_EQ(backgrounds, 1);
}

TEST_F(CoverTurnTest, EmptyAndTinyImagesKeepTheCount) {
    Surface empty, tiny, front;
    test::Solid(tiny, 1, 1, 0x7777);
    test::Solid(front, 100, 100, 0x5555);
    for (int side : {1, 2}) {
        for (bool flow : {false, true}) {
            int frames = 0;
            TurnHooks hooks;
            hooks.onFrame = [&](Screen&, int) { ++frames; };
            const uint32_t t0 = platform::TickCount();
            TurnOver(g_screen, empty, tiny, 0, 0, true, true, side, flow, hooks);
            TurnOver(g_screen, tiny, front, -100000, 0, true, true, side, flow, hooks);
            TurnOver(g_screen, front, empty, 900, 0, true, true, side, flow, hooks);
            EXPECT_EQ(frames, 3 * kTurnTotalFrames);
            EXPECT_GE(platform::TickCount() - t0, 3 * 462u);
        }
    }
}

// The now-playing track-list button turns the cover over and back, with the
// flag flipping half way and the last frame showing the new side.
TEST_F(CoverTurnTest, NowPlayingButtonTurnsTheCoverAndBack) {
    Song(u"Title", u"Artist", u"Album", 200, 10);
    NowPlaying& np = g_nowPlaying;
    ASSERT_TRUE(SizeSurface(np.cover, 400, 400));
    for (uint32_t y = 0; y < 400; ++y)
        for (uint32_t x = 0; x < 400; ++x)
            np.cover.pixels[y * 400 + x] =
                MakeColour(g_screen.layout, (x * 255) / 400, 120, (y * 255) / 400);
    np.hasCover = true;
    ASSERT_TRUE(MakeReflection(np.reflection, np.cover, 0));
    np.layout.coverX = 40;
    np.barsShown = true;
    const NowPlayingLayout& l = np.layout;
    std::vector<bool> flags;
    g_turnFrameObserver = [&](Screen&, int frame) {
        flags.push_back(g_nowPlaying.trackListShown);
        if (frame == 9 && flags.size() == 9) SaveFrame("now-playing-turn-9.png");
    };
    const uint32_t presents = frame.presentCount;
    const int32_t buttonX = l.width - l.trackListButtonWidth / 2, buttonY = l.buttonY + 4;
    Tap(buttonX, buttonY);
    EXPECT_TRUE(g_nowPlaying.trackListShown);
    ASSERT_EQ(flags.size(), size_t(kTurnTotalFrames));
    EXPECT_FALSE(flags[8]);
    EXPECT_TRUE(flags[9]);
    EXPECT_GE(frame.presentCount - presents, uint32_t(kTurnTotalFrames));
    flags.clear();
    Tap(buttonX, buttonY);
    EXPECT_FALSE(g_nowPlaying.trackListShown);
    ASSERT_EQ(flags.size(), size_t(kTurnTotalFrames));
    EXPECT_TRUE(flags[8]);
    EXPECT_FALSE(flags[9]);
    g_turnFrameObserver = nullptr;
}

}  // namespace
}  // namespace kra
