#include <cstring>

#include "graphics/blit.h"
#include "graphics/text.h"
#include "library/scan.h"
#include "screens_fixture.h"

namespace kra::test {
namespace {

// The label's pixels equal those of the text rendered the same way.
::testing::AssertionResult LabelReads(const Surface& label, std::u16string_view text,
                                      uint32_t colour = kTextWhite) {
    Surface expected;
    if (!RenderText(expected, g_screen, 13 * UiScale(), 400, colour, text,
                    kTextSingleLine | kTextNoPrefix, 0, 0, 0, kTextBlack))
        return ::testing::AssertionFailure() << "reference not rendered";
    if (label.width != expected.width || label.height != expected.height)
        return ::testing::AssertionFailure()
               << "size " << label.width << "x" << label.height << ", expected " << expected.width
               << "x" << expected.height;
    if (std::memcmp(label.pixels, expected.pixels, size_t(label.width) * label.height * 2) != 0)
        return ::testing::AssertionFailure() << "pixels differ";
    return ::testing::AssertionSuccess();
}

// A keyed surface: pixel 0 is the key colour 0, the rest `colour`.
void Keyed(Surface& s, uint32_t w, uint32_t h, uint16_t colour) {
    Solid(s, w, h, colour);
    s.pixels[0] = 0;
}

using NowPlayingTest = ScreensTest;

TEST_F(NowPlayingTest, TimesAtSeventyFiveOfTwoHundred) {
    Song(u"Title", u"Artist", u"Album", 200, 75);
    EXPECT_TRUE(LabelReads(g_nowPlaying.elapsed, u"1:15"));
    EXPECT_TRUE(LabelReads(g_nowPlaying.remaining, u"-2:05"));
    // The last second and the end.
    EXPECT_EQ(FormatDuration(RemainingSeconds(199, 200)), u"-0:01");
    EXPECT_EQ(RemainingSeconds(200, 200), 0);
    // Played past a length the header got wrong: nothing left, never a
    // positive remaining time.
    EXPECT_EQ(RemainingSeconds(207, 4), 0);
    // An unknown length: the remaining time is the elapsed one with a minus.
    Song(u"Title", u"", u"", 0, 75);
    EXPECT_TRUE(LabelReads(g_nowPlaying.remaining, u"-1:15"));
    EXPECT_EQ(SliderFill(75, 0, 280), 0);
    // Times stand beside the slider, 6u away.
    const NowPlayingLayout& l = g_nowPlaying.layout;
    EXPECT_EQ(g_nowPlaying.elapsedX, l.sliderX - 12 - int32_t(g_nowPlaying.elapsed.width));
    EXPECT_EQ(g_nowPlaying.remainingX, l.sliderX + int32_t(g_skin.sliderOn.width) + 12);
}

TEST_F(NowPlayingTest, VolumeFillAndKnob) {
    EXPECT_EQ(VolumeFill(250, 120), 120);  // a stored volume past 100

    // Draw with a 120-pixel "pbaron" of a colour no other element has.
    const uint16_t on = MakeColour(g_screen.layout, 0, 255, 0);
    Keyed(g_skin.barOn, 120, 4, on);
    g_skin.barOff = Surface{};
    g_skin.controlBarStrip = Surface{};
    LayoutNowPlaying(g_screen);
    g_nowPlaying.barsShown = true;
    g_nowPlaying.barsAlpha = 32;
    const NowPlayingLayout& l = g_nowPlaying.layout;
    auto countFilled = [&] {
        int n = 0;
        for (int32_t x = l.volumeX; x < l.volumeX + 120; ++x)
            n += Pixel(x, l.volumeY + 2) == BlendPixel(g_screen.layout, 0, on, 30);
        return n;
    };
    g_settings.musicVolume = 50;
    g_skin.barButton = Surface{};  // leave the knob out of the count
    ClearScreen(g_screen, 0);
    DrawControlBar(g_screen, 0, platform::TickCount());
    EXPECT_EQ(countFilled(), 60);
    EXPECT_EQ(g_nowPlaying.volumeKnobX, l.volumeX + 60);

    g_settings.musicVolume = 0;
    Keyed(g_skin.barButton, 20, 20, MakeColour(g_screen.layout, 255, 0, 0));
    ClearScreen(g_screen, 0);
    DrawControlBar(g_screen, 0, platform::TickCount());
    EXPECT_EQ(countFilled(), 0);
    EXPECT_EQ(g_nowPlaying.volumeKnobX, l.volumeX - 10);
}

TEST_F(NowPlayingTest, BarsFadeInStepsOfTheirOwn) {
    NowPlaying& np = g_nowPlaying;
    // The alpha after each of `n` draws of a bar shown or hidden.
    auto fade = [](bool& shown, bool show, const uint8_t& alpha, int n, auto draw) {
        shown = show;
        std::vector<int> seen;
        for (int i = 0; i < n; ++i) {
            draw();
            seen.push_back(alpha);
        }
        return seen;
    };
    auto secondary = [] { DrawSecondaryBar(g_screen, 0); };
    auto control = [] { DrawControlBar(g_screen, 0, platform::TickCount()); };
    using V = std::vector<int>;
    EXPECT_EQ(fade(np.secondaryShown, true, np.secondaryAlpha, 8, secondary),
              (V{5, 10, 15, 20, 25, 30, 30, 30}));
    EXPECT_EQ(fade(np.secondaryShown, false, np.secondaryAlpha, 7, secondary),
              (V{25, 20, 15, 10, 5, 0, 0}));
    EXPECT_EQ(fade(np.barsShown, true, np.barsAlpha, 5, control), (V{8, 16, 24, 32, 32}));
    EXPECT_EQ(fade(np.barsShown, false, np.barsAlpha, 5, control), (V{24, 16, 8, 0, 0}));
}

TEST_F(NowPlayingTest, ScrollingLines) {
    Song(u"Short", u"A very long artist name that cannot fit in the box of the song bar at all",
         u"", 100, 0);
    NowPlaying& np = g_nowPlaying;
    const ScrollingLine& title = np.lines[1];
    ScrollingLine& artist = np.lines[0];
    // A title that fits stands centred on the whole screen, not on its box.
    EXPECT_FALSE(title.scrolling);
    EXPECT_EQ(int32_t(title.offset1), (480 - int32_t(np.title.width)) / 2);
    ASSERT_TRUE(artist.scrolling);
    np.barsShown = true;
    np.barsAlpha = 32;
    const float lw = float(np.artist.width);
    // The first frame places the second copy a fifth of the box behind;
    // the line then waits: 35 frames stand still, the 36th moves.
    for (int i = 1; i <= 35; ++i) {
        platform::AdvanceVirtualClock(60);
        DrawControlBar(g_screen, 0, platform::TickCount());
        ASSERT_EQ(artist.offset1, 0.0f) << i;
        ASSERT_EQ(artist.offset2, lw + float(artist.boxWidth / 5)) << i;
    }
    // Steps of 0.3 x 2 px per 60 ms, paced by the clock, not the frames.
    platform::AdvanceVirtualClock(60);
    DrawControlBar(g_screen, 0, platform::TickCount());
    EXPECT_FLOAT_EQ(artist.offset1, 0.6f);
    EXPECT_EQ(title.offset1, float((480 - int32_t(np.title.width)) / 2));
    platform::AdvanceVirtualClock(600);
    DrawControlBar(g_screen, 0, platform::TickCount());
    EXPECT_NEAR(artist.offset1, 6.6f, 1e-4);
    EXPECT_NEAR(artist.offset2, lw + float(artist.boxWidth / 5) - 6.6f, 1e-3);
    // The line starts over when the second copy reaches the box's start.
    int frames = 0;
    while (artist.offset1 != 0.0f && frames < 100000) {
        platform::AdvanceVirtualClock(60);
        DrawControlBar(g_screen, 0, platform::TickCount());
        ++frames;
    }
    EXPECT_LT(frames, 100000);
    EXPECT_EQ(artist.offset2, lw + float(artist.boxWidth / 5));
}

TEST_F(NowPlayingTest, SongBarHeightWithoutTags) {
    Song(u"file name", u"", u"", 10, 0);
    NowPlaying& np = g_nowPlaying;
    EXPECT_EQ(np.artist.height, 0u);
    EXPECT_EQ(np.album.height, 0u);
    EXPECT_EQ(np.layout.songBarHeight, 84);  // 42u wins over one line
    EXPECT_EQ(np.songBarStrip.height, 84u);
}

TEST_F(NowPlayingTest, RepeatModeThreeShowsTheFourthCell) {
    // Four cells of distinct colours, each 10 wide; pixel 0 is the key.
    Surface& repeat = g_skin.repeat;
    SizeSurface(repeat, 40, 10);
    DropSurfaceAlpha(repeat);
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 40; ++x)
            repeat.pixels[y * 40 + x] = uint16_t(0x1000 * (x / 10 + 1));
    repeat.pixels[0] = 0x0001;
    LayoutNowPlaying(g_screen);
    g_settings.repeatAlbum = 3;
    g_nowPlaying.secondaryShown = true;
    g_nowPlaying.secondaryAlpha = 30;
    ClearScreen(g_screen, 0);
    DrawSecondaryBar(g_screen, 0);
    const NowPlayingLayout& l = g_nowPlaying.layout;
    // Alpha 30 blends toward the black band: compare against the blend.
    const uint16_t band = Pixel(l.repeatX - 1, l.modeRowY + 5);
    EXPECT_EQ(Pixel(l.repeatX + 5, l.modeRowY + 5), BlendPixel(g_screen.layout, band, 0x4000, 30));
}

TEST_F(NowPlayingTest, PositionLabelWithAndWithoutDebug) {
    for (int i = 0; i < 12; ++i)
        g_library.play.Append(u"\\m\\a\\" + std::u16string(1, char16_t('a' + i)) + u".mp3");
    g_library.play.entries[4].identity = 9;
    g_queue.cursor.position = 4;
    RenderPositionLabel(g_screen);
    EXPECT_TRUE(LabelReads(g_nowPlaying.positionLabel, u"5 of 12"));
    g_settings.debugOn = 1;
    RenderPositionLabel(g_screen);
    EXPECT_TRUE(LabelReads(g_nowPlaying.positionLabel, u"5 of 12(9)"));
    g_settings.playShuffle = 1;
    RenderPositionLabel(g_screen);
    EXPECT_TRUE(LabelReads(g_nowPlaying.positionLabel, u"9 of 12(5)"));
    g_settings.debugOn = 0;
    RenderPositionLabel(g_screen);
    EXPECT_TRUE(LabelReads(g_nowPlaying.positionLabel, u"9 of 12"));
    // Shuffle turned on while a song plays: it is the first of the round.
    g_library.play.entries[4].identity = 0;
    g_queue.cursor.historyCounter = 1;
    RenderPositionLabel(g_screen);
    EXPECT_TRUE(LabelReads(g_nowPlaying.positionLabel, u"1 of 12"));
}

TEST_F(NowPlayingTest, NoSoftKeyAndCoverRule) {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    // Default: the cover stands on the control bar.
    EXPECT_EQ(CoverY(480), 800 - 120 - 480);
    EXPECT_EQ(CoverY(700), 0);  // negative becomes 0
    g_settings.noSoftKey = 1;
    EXPECT_EQ(CoverY(480), l.statusHeight + l.songBarHeight);
    g_settings.albumLayout = 0;
    EXPECT_EQ(CoverY(480), 3 * 26 + 40);

    // Nothing of the control bar is drawn with NoSoftKey.
    g_settings.albumLayout = 2;
    g_nowPlaying.barsShown = true;
    g_nowPlaying.barsAlpha = 32;
    auto lit = [&] {
        ClearScreen(g_screen, 0);
        DrawControlBar(g_screen, 0, platform::TickCount());
        int n = 0;
        for (int32_t y = l.controlY; y < 800; ++y)
            for (int32_t x = 0; x < 480; ++x) n += Pixel(x, y) != 0;
        return n;
    };
    EXPECT_EQ(lit(), 0);
    g_settings.noSoftKey = 0;
    EXPECT_GT(lit(), 1000);
}

TEST_F(NowPlayingTest, PressedHighlightLingersFourFrames) {
    Solid(g_skin.pressed, 4, 4, 0xFFFF);
    PressedHighlight& hl = g_pressedHighlight;
    DrawPressedHighlight(g_screen, true, 100, 100, 4, 4, 30);
    EXPECT_TRUE(hl.active);
    std::vector<int> counters;
    for (int i = 0; i < 6 && hl.active; ++i) {
        ClearScreen(g_screen, 0);
        DrawPressedHighlight(g_screen, false, 100, 100, 4, 4, 30);
        if (hl.active) {
            counters.push_back(hl.counter);
            EXPECT_NE(Pixel(101, 101), 0);
        }
    }
    EXPECT_EQ(counters, (std::vector<int>{23, 16, 9, 2}));
    EXPECT_FALSE(hl.active);
    // A highlight remembered elsewhere is not drawn or counted down here.
    DrawPressedHighlight(g_screen, true, 10, 10, 4, 4, 30);
    DrawPressedHighlight(g_screen, false, 100, 100, 4, 4, 30);
    EXPECT_EQ(hl.counter, 30);
}

TEST_F(NowPlayingTest, CoverSizes) {
    EXPECT_EQ(CoverSizeFor(480, 800, 2, true), 480u);
    EXPECT_EQ(CoverSizeFor(480, 800, 2, false), 480u);  // 800 - 220 capped at 480
    EXPECT_EQ(CoverSizeFor(240, 320, 1, false), 210u);
    EXPECT_EQ(CoverSizeFor(240, 240, 1, true), 210u);  // square: + 80u, never full screen
    EXPECT_EQ(CoverSizeFor(100, 60, 1, false), 0u);
}

namespace fs = std::filesystem;

const fs::path kDemo = fs::path(KRA_SOURCE_ASSETS) / "demo-music";

class CoverTest : public ScreensTest {
  protected:
    // A copy of a demo album in the temporary home.
    std::u16string Album(const char* artist, const char* album) {
        const fs::path to = home / "music" / album;
        fs::create_directories(to);
        fs::copy(kDemo / artist / album, to,
                 fs::copy_options::overwrite_existing | fs::copy_options::recursive);
        return platform::FromPosixPath(to.string());
    }
};

TEST_F(CoverTest, CoverSmallCoverAndReflection) {
    const std::u16string folder = Album("Aurora Tønes", "Sine Wåves");
    EXPECT_TRUE(LoadSongPicture(g_screen, folder));
    const NowPlaying& np = g_nowPlaying;
    EXPECT_TRUE(np.hasCover);
    EXPECT_EQ(std::max(np.cover.width, np.cover.height), 480u);
    EXPECT_EQ(std::max(np.smallCover.width, np.smallCover.height), 66u);
    EXPECT_EQ(np.reflection.width, np.cover.width);
    EXPECT_EQ(np.reflection.height, np.cover.height / 2);
    EXPECT_EQ(np.layout.coverX, int32_t(480 - np.cover.width) / 2);
    EXPECT_EQ(np.layout.coverY, 800 - 120 - int32_t(np.cover.height));

    // A folder without any picture: the default cover, no small cover.
    const fs::path empty = home / "music" / "empty";
    fs::create_directories(empty);
    EXPECT_FALSE(LoadSongPicture(g_screen, platform::FromPosixPath(empty.string())));
    EXPECT_FALSE(np.hasCover);
    EXPECT_EQ(np.layout.coverX, int32_t(480 - g_skin.music.width) / 2);
    EXPECT_EQ(np.reflection.height, g_skin.music.height / 2);
}

TEST_F(CoverTest, TrackListRowsAndTaps) {
    const std::u16string folder = Album("Aurora Tønes", "Sine Wåves");
    g_queue.folderQueue = SortedFolderSongs(folder);
    ASSERT_EQ(g_queue.folderQueue.size(), 3u);
    g_queue.currentPath = std::u16string(g_queue.folderQueue[1]);
    g_queue.cursor.folderIndex = 1;
    SetTrackListShown(g_screen, true);
    ASSERT_EQ(g_nowPlaying.tracks.size(), 3u);
    EXPECT_EQ(g_nowPlaying.tracks[2].path, g_queue.folderQueue[2]);
    EXPECT_GT(g_nowPlaying.tracks[0].label.width, 0u);
    // A tap on the third row plays it.
    const int32_t rowY = TrackListTop() + 2 * g_nowPlaying.trackRowHeight + 5;
    EXPECT_EQ(TrackRowAt(rowY), 2);
    Tap(240, rowY);
    EXPECT_EQ(Actions(), (std::vector<std::string>{"play song"}));
    EXPECT_FALSE(g_nowPlaying.secondaryShown);
}

}  // namespace
}  // namespace kra::test
