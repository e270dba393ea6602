#include "screens/now_playing_input.h"

#include <utility>

#include "platform/clock.h"

#include "screens_fixture.h"

namespace kra::test {
namespace {

using Strings = std::vector<std::string>;

// The actions asked for since the last call.
Strings Taken() {
    return std::exchange(Actions(), {});
}

class NowPlayingInputTest : public ScreensTest {
  protected:
    void SetUp() override {
        ScreensTest::SetUp();
        Song(u"Title", u"Artist", u"Album", 200, 60);
        g_nowPlaying.secondaryShown = true;
        RedrawCurrentScreen();
        Actions().clear();
    }
    const NowPlayingLayout& L() const { return g_nowPlaying.layout; }
    int32_t BodyY() const { return L().coverY + 200; }
    void Key(uint32_t key, int repeats = 1) {
        for (int i = 0; i < repeats; ++i) {
            RouteKeyDown(key);
            platform::AdvanceVirtualClock(100);
        }
        RouteKeyUp(key);
    }
};

TEST_F(NowPlayingInputTest, HoldingRightSeeksOnceAtKeyUp) {
    RouteKeyDown(kKeyRight);
    EXPECT_EQ(g_gesture.seekTarget, 65u);
    EXPECT_TRUE(g_gesture.seeking);
    RouteKeyDown(kKeyRight);
    EXPECT_EQ(g_gesture.seekTarget, 70u);
    RouteKeyDown(kKeyRight);
    EXPECT_EQ(g_gesture.seekTarget, 75u);
    // The knob and the time follow the target before any seek.
    EXPECT_TRUE(Taken().empty());
    const int32_t knobW = int32_t(g_skin.sliderButton.width);
    EXPECT_EQ(g_nowPlaying.sliderKnobX,
              L().sliderX - knobW / 2 + SliderFill(75, 200, g_skin.sliderOn.width));
    RouteKeyUp(kKeyRight);
    EXPECT_EQ(Taken(), (Strings{"seek 75"}));
    EXPECT_FALSE(g_gesture.seeking);
    EXPECT_EQ(g_gesture.seekCount, 0);
    EXPECT_EQ(g_nowPlaying.position, 75u);

    // A short press seeks 5 s; left goes back, never below 0.
    Key(kKeyRight);
    EXPECT_EQ(Taken(), (Strings{"seek 80"}));
    g_nowPlaying.position = 7;
    Key(kKeyLeft, 3);
    EXPECT_EQ(Taken(), (Strings{"seek 0"}));
    // Right stops at the length.
    g_nowPlaying.position = 197;
    Key(kKeyRight, 2);
    EXPECT_EQ(Taken(), (Strings{"seek 200"}));
    // On a turned display the up arrow is the one that points right.
    g_nowPlaying.position = 60;
    g_app.drawingOrientation = 1;
    g_app.deviceOrientation = 0;
    Key(kKeyUp);
    EXPECT_EQ(Taken(), (Strings{"seek 65"}));
}

TEST_F(NowPlayingInputTest, ArrowsChangeTracksWithoutTheSlider) {
    g_nowPlaying.secondaryShown = false;
    Key(kKeyRight, 3);
    Key(kKeyLeft);
    EXPECT_EQ(Taken(), (Strings{"next", "previous"}));
    // With the track list shown the arrows change tracks too.
    g_nowPlaying.secondaryShown = true;
    g_nowPlaying.trackListShown = true;
    Key(kKeyRight);
    EXPECT_EQ(Taken(), (Strings{"next"}));
}

TEST_F(NowPlayingInputTest, OtherKeys) {
    g_settings.musicVolume = 98;
    Key(kKeyVolumeUp);
    g_settings.musicVolume = 3;
    Key(kKeyDown);
    Key(kKeyEnter);
    Key(kKeySoftLeft);
    Key(kKeySoftRight);
    Key(kKeyEnd);
    Key(kKeyTalk);
    EXPECT_EQ(Taken(), (Strings{"volume 100", "store volume", "volume 0", "store volume", "pause",
                                "previous album", "next album", "minimize", "quit"}));
    // While the focus guard is set only the volume and App keys are released.
    g_app.focusGuard = true;
    Key(kKeyEnter);
    Key(kKeyRight);
    Key(kKeyVolumeUp);
    EXPECT_EQ(Taken(), (Strings{"volume 9", "store volume"}));
    // A right key held with the guard on seeks nowhere at key-up.
    EXPECT_EQ(g_gesture.seekCount, 1);
    // Enter on a list screen does nothing.
    g_app.focusGuard = false;
    g_gesture = GestureState{};
    RegisterScreen(kScreenSongs, ScreenHandlers{[](Screen&, uint32_t) {}});
    g_app.screen = kScreenSongs;
    Key(kKeyEnter);
    EXPECT_TRUE(Taken().empty());
}

TEST_F(NowPlayingInputTest, BodyTapTogglesTheSlider) {
    const int32_t y = BodyY();
    Tap(240, y);
    EXPECT_FALSE(g_nowPlaying.secondaryShown);
    EXPECT_EQ(g_settings.lastShowSlide, 0);
    Tap(240, y);
    EXPECT_TRUE(g_nowPlaying.secondaryShown);
    EXPECT_EQ(g_settings.lastShowSlide, 1);
    // A bounce of the pen (25 ms) is no tap, nor is a drag.
    Tap(240, y, 25);
    EXPECT_TRUE(g_nowPlaying.secondaryShown);
    Drag(240, y, 240, y + 30, 30, 50);
    EXPECT_TRUE(g_nowPlaying.secondaryShown);
    EXPECT_TRUE(Taken().empty());
}

TEST_F(NowPlayingInputTest, ButtonsActOnlyWhenReleasedInside) {
    const NowPlayingLayout& l = L();
    const int32_t by = l.controlY + 10;
    Tap(l.playX + 10, by);
    Tap(l.nextX + 10, by);
    Tap(l.previousX + 10, by);
    EXPECT_EQ(Taken(), (Strings{"pause", "next", "previous"}));
    Press(l.nextX + 10, by, l.playX + 10, by, 60);
    EXPECT_TRUE(Taken().empty());
}

TEST_F(NowPlayingInputTest, RepeatAndShuffleCellsStepTheModes) {
    const NowPlayingLayout& l = L();
    const int32_t y = l.modeRowY + 10;
    // The setting after each of `n` taps on the cell at x.
    auto taps = [&](int32_t x, int n, const auto& setting) {
        std::vector<int> seen;
        for (int i = 0; i < n; ++i) {
            Tap(x, y);
            seen.push_back(int(setting));
        }
        return seen;
    };
    EXPECT_EQ(taps(l.repeatX + 5, 4, g_settings.repeatAlbum), (std::vector<int>{1, 2, 3, 0}));
    g_nowPlaying.listsFromBrowseFile = true;
    EXPECT_EQ(taps(l.repeatX + 5, 3, g_settings.repeatAlbum), (std::vector<int>{1, 3, 0}));
    EXPECT_EQ(taps(l.shuffleX + 5, 3, g_settings.playShuffle), (std::vector<int>{1, 2, 0}));
    // Hidden slider: the cells are not there (the tap shows the slider).
    g_nowPlaying.secondaryShown = false;
    Tap(l.repeatX + 5, y);
    EXPECT_EQ(g_settings.repeatAlbum, 0);
}

TEST_F(NowPlayingInputTest, DraggingTheKnobSeeksAtReleaseInsideTheBand) {
    const NowPlayingLayout& l = L();
    const int32_t width = int32_t(g_skin.sliderOn.width);
    const int32_t knobCentre = g_nowPlaying.sliderKnobX + int32_t(g_skin.sliderButton.width) / 2;
    RoutePenDown(knobCentre, l.sliderY + 2);
    EXPECT_TRUE(g_gesture.seeking);
    RoutePenMove(l.sliderX + width / 2, l.sliderY + 2);
    EXPECT_EQ(g_gesture.seekTarget, 100u);
    RoutePenMove(l.sliderX + width + 50, l.sliderY + 2);
    EXPECT_EQ(g_gesture.seekTarget, 200u);
    RoutePenMove(l.sliderX + width / 4, l.sliderY + 2);
    EXPECT_EQ(g_gesture.seekTarget, 50u);
    RoutePenUp(l.sliderX + width / 4, l.sliderY + 2);
    EXPECT_EQ(Taken(), (Strings{"seek 50"}));
    EXPECT_FALSE(g_gesture.seeking);

    // Released far from the slider: no seek.
    const int32_t knob = g_nowPlaying.sliderKnobX + int32_t(g_skin.sliderButton.width) / 2;
    RoutePenDown(knob, l.sliderY + 2);
    RoutePenMove(l.sliderX + width / 2, l.sliderY + 2);
    RoutePenUp(l.sliderX + width / 2, l.sliderY + 300);
    EXPECT_TRUE(Taken().empty());
    EXPECT_FALSE(g_gesture.seeking);
}

TEST_F(NowPlayingInputTest, DraggingTheVolumeKnob) {
    const NowPlayingLayout& l = L();
    g_settings.musicVolume = 50;
    LayoutNowPlaying(g_screen);
    const int32_t width = int32_t(g_skin.barOn.width);
    RoutePenDown(g_nowPlaying.volumeKnobX + 5, l.volumeY + 2);
    RoutePenMove(l.volumeX + width / 4, l.volumeY + 2);
    RoutePenMove(l.volumeX - 40, l.volumeY + 2);
    RoutePenUp(l.volumeX - 40, l.volumeY + 2);
    EXPECT_EQ(Taken(), (Strings{"volume 25", "volume 0", "store volume"}));
    EXPECT_EQ(g_settings.musicVolume, 0u);
}

TEST_F(NowPlayingInputTest, SwipesMoveOneAlbumPerStroke) {
    const int32_t y = BodyY();
    Drag(400, y, 40, y, 20, 16);
    Drag(100, y, 400, y, 20, 16);
    EXPECT_EQ(Taken(), (Strings{"next album", "previous album"}));
    // Within the secondary bar's band a swipe does nothing.
    const int32_t band = L().statusHeight + L().songBarHeight + 10;
    Drag(400, band, 40, band, 20, 16);
    EXPECT_TRUE(Taken().empty());
}

TEST_F(NowPlayingInputTest, TitleBarDoubleTapAndCornerAndBack) {
    static int flowEntered = 0;
    flowEntered = 0;
    ScreenHandlers flow;
    flow.compose = [](Screen&, uint32_t) {};
    flow.enter = [](uint32_t) { ++flowEntered; };
    RegisterScreen(kScreenAlbumFlow, flow);
    const int32_t ty = L().statusHeight + L().songBarHeight / 2;
    Tap(240, ty);
    platform::AdvanceVirtualClock(440);  // 500 ms after the first release
    Tap(240, ty);
    EXPECT_EQ(flowEntered, 0);
    platform::AdvanceVirtualClock(300);
    Tap(250, ty);
    EXPECT_EQ(flowEntered, 1);
    EXPECT_EQ(g_app.screen, kScreenAlbumFlow);

    g_app.screen = kScreenNowPlaying;
    Tap(475, 2);
    EXPECT_EQ(Taken(), (Strings{"minimize"}));

    // Back returns to the screen the user came from.
    RegisterScreen(kScreenSubList, ScreenHandlers{[](Screen&, uint32_t) {}});
    g_app.previousScreen = kScreenSubList;
    Tap(5, L().buttonY + 5);
    EXPECT_EQ(g_app.screen, kScreenSubList);
}

class TrackListMotionTest : public ScreensTest {
  protected:
    void SetUp() override {
        ScreensTest::SetUp();
        g_nowPlaying.tracks.resize(30);
        g_nowPlaying.trackListShown = true;
        g_nowPlaying.trackFolder = u"\\m";
        g_queue.currentPath = u"\\m\\a.mp3";
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) RouteAnimationTick();
    }
};

TEST_F(TrackListMotionTest, FlingCoastsThenStopsInsideTheList) {
    const int32_t max = TrackListMaxScroll();
    ASSERT_GT(max, 0);
    Drag(240, 600, 240, 400);
    const int32_t released = g_nowPlaying.trackScroll;
    EXPECT_EQ(released, 200);
    Ticks(3);
    EXPECT_GT(g_nowPlaying.trackScroll, released);  // it coasts on
    Ticks(200);
    EXPECT_EQ(g_gesture.verticalTravelTime, 0u);
    EXPECT_GE(g_nowPlaying.trackScroll, 0);
    EXPECT_LE(g_nowPlaying.trackScroll, max);
    EXPECT_FALSE(NowPlayingAnimating());
    // A drag that stops before the lift leaves the list where it is.
    const int32_t before = g_nowPlaying.trackScroll;
    RoutePenDown(240, 300);
    platform::AdvanceVirtualClock(10);
    RoutePenMove(240, 320);
    platform::AdvanceVirtualClock(200);
    RoutePenMove(240, 320);
    RoutePenUp(240, 320);
    Ticks(5);
    EXPECT_EQ(g_nowPlaying.trackScroll, before - 20);
    EXPECT_TRUE(Taken().empty());
}

TEST_F(TrackListMotionTest, PulledPastTheTopSpringsBack) {
    Drag(240, 300, 240, 500);
    EXPECT_LT(g_nowPlaying.trackScroll, 0);
    Ticks(40);
    EXPECT_EQ(g_nowPlaying.trackScroll, 0);
    EXPECT_FALSE(NowPlayingAnimating());
}

}  // namespace
}  // namespace kra::test
