#include "screens/album_flow.h"
#include "screens/cover_turn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/settings.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "screens_fixture.h"

namespace kra {
namespace {

TEST(CoverCorners, TwoHundredSquareAtEachEnd) {
    // Step 4, right of the centre: half the cover wide, far edge on the left.
    WarpCorners c = CoverCorners(200, 200, 4, 1);
    EXPECT_EQ(c.x1 - c.x0, 100);
    EXPECT_EQ(c.x0, c.x2);
    EXPECT_EQ(c.y3 - c.y1, 188);  // near (right) edge
    EXPECT_EQ(c.y2 - c.y0, 140);  // far (left) edge
    // Left of the centre the far edge is the right one.
    c = CoverCorners(200, 200, 4, 0);
    EXPECT_EQ(c.y2 - c.y0, 188);
    EXPECT_EQ(c.y3 - c.y1, 140);
    // Facing the user.
    c = CoverCorners(200, 200, 0, 1);
    EXPECT_EQ(c.x1, 190);
    EXPECT_EQ(c.y2, 200);
    EXPECT_EQ(c.y0, 0);
    // Steps in between shrink by q = 20 and d = 6 per step.
    c = CoverCorners(200, 200, 2, 1);
    EXPECT_EQ(c.x1, 140);
    EXPECT_EQ(c.y0, 12);
    EXPECT_EQ(c.y2, 176);
}

TEST(FlowMotion, RelaxationDragStepAndSpacing) {
    // (The relaxation of a positive offset is seen through the motion ticks.)
    EXPECT_EQ(RelaxOffset(-0.5f), 0.0f);
    EXPECT_FLOAT_EQ(RelaxOffset(-10.0f), -8.0f);
    // A drag of half a spacing and more stays at step 4; tiny spacings never divide by 0.
    EXPECT_EQ(DragStep(100.0f, 100), 4);
    EXPECT_EQ(DragStep(25.0f, 100), 2);
    EXPECT_EQ(DragStep(-25.0f, 100), 2);
    EXPECT_EQ(DragStep(9.9f, 100), 0);
    EXPECT_EQ(DragStep(300.0f, 0), 4);
    EXPECT_EQ(DragStep(3.0f, 5), 3);
    EXPECT_GE(FlowSpacing(0, 1), 10);
}

class AlbumFlowTest : public test::ScreensTest {
  protected:
    void SetUp() override {
        test::ScreensTest::SetUp();
        SetOrientation(g_screen, kOrientation90);
        g_albumFlow = AlbumFlow{};
        g_settings.noAlbumFlow = 0;
        timers.clear();
        frames.clear();
        wakes = 0;
        t = platform::TickCount();
    }
    void TearDown() override {
        g_albumFlow = AlbumFlow{};
        test::ScreensTest::TearDown();
    }

    void Albums(int count) {
        const int32_t W = int32_t(g_screen.width), H = int32_t(g_screen.height);
        const int u = UiScale();
        SetupAlbumFlow(g_albumFlow, W, H, 20 * u, 56 * u, u, count);
        FlowHooks& h = g_albumFlow.hooks;
        h.loadCover = [this](int album, Surface& cover) { Cover(album, cover); };
        h.startTimer = [this](uint32_t id, uint32_t ms) {
            timers.push_back("start " + std::to_string(id) + " " + std::to_string(ms));
        };
        h.stopTimer = [this](uint32_t id) { timers.push_back("stop " + std::to_string(id)); };
        h.onFrame = [this](int n) { frames.push_back({n, platform::TickCount()}); };
        h.wakeWorker = [this] { ++wakes; };
        h.playAlbum = [this](int album) { played.push_back(album); };
        h.playSong = [this](int album, const std::u16string& path) {
            played.push_back(album);
            songs.push_back(path);
        };
        h.loadTracks = [](int album, std::vector<FlowTrack>& tracks) {
            for (int i = 0; i < 40; ++i)
                tracks.push_back(FlowTrack{u"\\a" + std::u16string(1, char16_t(u'0' + album)) +
                                               u"\\" + std::u16string(1, char16_t(u'A' + i)),
                                           u"Song",
                                           61,
                                           {},
                                           {}});
        };
        h.artistOf = [](int album) {
            static const char16_t* artists[] = {u"",     u"abba", u"Beck",  u"Mika",
                                                u"Muse", u"Muse", u"Queen", u"Mogwai"};
            return std::u16string(artists[album % 8]);
        };
        h.leave = [this] { ++leaves; };
    }

    void Cover(int album, Surface& cover) {
        const uint32_t s = uint32_t(g_albumFlow.coverSize);
        ASSERT_TRUE(SizeSurface(cover, s, s));
        for (uint32_t y = 0; y < s; ++y)
            for (uint32_t x = 0; x < s; ++x)
                cover.pixels[y * s + x] =
                    MakeColour(g_screen.layout, (album * 70 + x * 128 / s) & 255, (y * 255) / s,
                               ((x / 24 + y / 24) & 1) ? 200 : 60);
    }

    std::vector<int> Slots() const { return {g_albumFlow.slots.begin(), g_albumFlow.slots.end()}; }

    // A press at (x0, y0) `wait` ms after the last event, moved to (x1, y1)
    // `ms` later (when it moves) and lifted there `ms` after that.
    void Stroke(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t wait, uint32_t ms) {
        FlowPenDown(g_screen, x0, y0, t += wait);
        if (x1 != x0 || y1 != y0) FlowPenMove(g_screen, x1, y1, t += ms);
        FlowPenUp(g_screen, x1, y1, t += ms);
    }

    uint32_t t = 0;  // the time of the last pen event
    std::vector<std::string> timers;
    std::vector<std::pair<int, uint32_t>> frames;
    std::vector<int> played;
    std::vector<std::u16string> songs;
    int wakes = 0;
    int leaves = 0;
};

TEST_F(AlbumFlowTest, SlotsAroundTheCurrentAlbum) {
    Albums(2);
    ASSERT_TRUE(EnterAlbumFlow(g_screen, kOrientation90));
    EXPECT_EQ(Slots(), (std::vector<int>{-1, -1, -1, 1, 2, -1, -1}));
    Albums(5);
    g_albumFlow.current = 5;
    EnterAlbumFlow(g_screen, kOrientation90);
    EXPECT_EQ(Slots(), (std::vector<int>{2, 3, 4, 5, -1, -1, -1}));
    Albums(0);
    EnterAlbumFlow(g_screen, kOrientation90);
    EXPECT_EQ(Slots(), (std::vector<int>(7, -1)));
    // The covers stand fully below the top bar.
    Albums(3);
    EnterAlbumFlow(g_screen, kOrientation90);
    for (int album : {1, 2}) EXPECT_GE(g_albumFlow.albums[size_t(album)].y, g_albumFlow.topBar);
}

// From portrait the current cover turns by 15 degrees a frame, six frames,
// and the screen ends in the view's orientation.
TEST_F(AlbumFlowTest, EntryTurnsTheCoverIntoLandscape) {
    SetOrientation(g_screen, kOrientation0);
    Albums(3);
    int turned = -1;
    g_albumFlow.hooks.turnDisplay = [&](int o) { turned = o; };
    const uint32_t presents = frame.presentCount, t0 = platform::TickCount();
    ASSERT_TRUE(EnterAlbumFlow(g_screen, kOrientation270));
    EXPECT_EQ(frame.presentCount - presents, 6u);
    EXPECT_GE(platform::TickCount() - t0, 60u);
    EXPECT_EQ(turned, kOrientation270);
    EXPECT_EQ(g_screen.orientation, kOrientation270);
    EXPECT_GT(g_screen.width, g_screen.height);
}

TEST_F(AlbumFlowTest, EntryArmsTheTimersAndTwoPageTicksWakeTheWorker) {
    Albums(5);
    // Switched off, the view keeps the screen as it is.
    g_settings.noAlbumFlow = 1;
    EXPECT_FALSE(EnterAlbumFlow(g_screen, kOrientation90));
    EXPECT_TRUE(timers.empty());
    EXPECT_EQ(Slots(), (std::vector<int>(7, -1)));
    g_settings.noAlbumFlow = 0;
    EnterAlbumFlow(g_screen, kOrientation270);
    EXPECT_EQ(timers, (std::vector<std::string>{"stop 1029", "start 1029 60", "start 1040 45"}));
    OnFlowPageTimer();
    EXPECT_EQ(wakes, 0);
    OnFlowPageTimer();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(timers.back(), "stop 1040");
}

TEST_F(AlbumFlowTest, StepsArePacedAndRefillTheRow) {
    Albums(5);
    EnterAlbumFlow(g_screen, kOrientation90);
    timers.clear();
    MoveToNextAlbum(g_screen, false);
    ASSERT_EQ(frames.size(), 5u);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_GE(frames[i].second - frames[i - 1].second, 33u);
    EXPECT_EQ(g_albumFlow.current, 2);
    EXPECT_EQ(Slots(), (std::vector<int>{-1, -1, 1, 2, 3, 4, 5}));
    EXPECT_EQ(timers.front(), "stop 1029");
    EXPECT_EQ(timers.back(), "start 1029 60");
    frames.clear();
    MoveToPrevAlbum(g_screen, true);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].first, 2);
    EXPECT_EQ(frames[1].first, 3);
    EXPECT_EQ(g_albumFlow.current, 1);
    // The centre faces the user and stands in the middle.
    const FlowAlbum& c = g_albumFlow.albums[1];
    EXPECT_EQ(c.step, 0);
    EXPECT_EQ(c.x, (int32_t(g_screen.width) - int32_t(c.flowImage.width)) / 2);
}

TEST_F(AlbumFlowTest, EndsStayAtRest) {
    Albums(3);
    EnterAlbumFlow(g_screen, kOrientation90);
    FlowTap(g_screen, 5, 200);  // left of the first album
    EXPECT_EQ(g_albumFlow.current, 1);
    EXPECT_EQ(g_albumFlow.offset, 0.0f);
    EXPECT_TRUE(frames.empty());
    g_albumFlow.current = 3;
    FillSlots(g_albumFlow, g_screen);
    FlowTap(g_screen, int32_t(g_screen.width) - 5, 200);
    EXPECT_EQ(g_albumFlow.current, 3);
    EXPECT_TRUE(frames.empty());
    // A centre tap zooms the centre cover out in five paced frames, then plays the album.
    const FlowAlbum& c = g_albumFlow.albums[3];
    size_t framesAtPlay = 0;
    g_albumFlow.hooks.playAlbum = [&](int album) {
        played.push_back(album);
        framesAtPlay = frames.size();
    };
    g_albumFlow.hooks.onFrame = [this](int n) {
        frames.push_back({n, platform::TickCount()});
        if (n == 4) SaveFrame("album-flow-zoom-end.png");
    };
    FlowTap(g_screen, int32_t(g_screen.width) / 2, c.y + 10);
    EXPECT_EQ(played, (std::vector<int>{3}));
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(framesAtPlay, 5u);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_GE(frames[i].second - frames[i - 1].second, 33u);
    // The last frame: the shrunken cover in the middle, the far row faded to black.
    const int32_t W = int32_t(g_screen.width), H = int32_t(g_screen.height);
    EXPECT_NE(*ScreenPixel(g_screen, W / 2, H / 2), 0);
    EXPECT_EQ(*ScreenPixel(g_screen, W / 2 - int32_t(c.flowImage.width) / 2 + 2, c.y + 2), 0);
}

TEST_F(AlbumFlowTest, FlicksEndAndDragsRelax) {
    Albums(5);
    EnterAlbumFlow(g_screen, kOrientation90);
    g_albumFlow.velocity = 0.01;
    g_albumFlow.divisor = 4;
    OnFlowTimer(g_screen);
    EXPECT_EQ(g_albumFlow.divisor, 0);
    EXPECT_EQ(g_albumFlow.offset, 0.0f);
    g_albumFlow.offset = 10;
    OnFlowTimer(g_screen);
    EXPECT_FLOAT_EQ(g_albumFlow.offset, 8.0f);
    g_albumFlow.offset = 0.5f;
    OnFlowTimer(g_screen);
    EXPECT_EQ(g_albumFlow.offset, 0.0f);
}

TEST_F(AlbumFlowTest, SmallRowsNeverCrash) {
    for (int count : {0, 1, 2, 5}) {
        Albums(count);
        EnterAlbumFlow(g_screen, kOrientation90);
        for (float drag : {300.0f, -300.0f, 40.0f, -40.0f}) {
            g_albumFlow.offset = drag;
            DrawFlow(g_screen, drag);
            OnFlowTimer(g_screen);
        }
        g_albumFlow.velocity = 50;
        g_albumFlow.divisor = 1;
        for (int i = 0; i < 20; ++i) OnFlowTimer(g_screen);
        for (int32_t x = 0; x < int32_t(g_screen.width); x += 97)
            for (int32_t y = 0; y < int32_t(g_screen.height); y += 83) FlowTap(g_screen, x, y);
        // Drags of 300 px both ways, a flick, and the turn to the list and back.
        for (int dir : {+1, -1}) {
            FlowPenDown(g_screen, 400, 200, t += 100);
            for (int32_t d = 0; d <= 300; d += 30)
                FlowPenMove(g_screen, 400 + dir * d, 200, t += 16);
            FlowPenUp(g_screen, 400 + dir * 300, 200, t += 5);
            for (int i = 0; i < 30; ++i) OnFlowTimer(g_screen);
        }
        TurnFlowList(g_screen);
        EXPECT_EQ(g_albumFlow.listShown, count > 0);
        FlowTap(g_screen, 400, 300);
        TurnFlowList(g_screen);
        EXPECT_FALSE(g_albumFlow.listShown);
        SnapFlow(g_screen, 1);
        SnapFlow(g_screen, 2);
        SnapFlow(g_screen, 0);
        EXPECT_EQ(g_albumFlow.offset, 0.0f);
        EXPECT_EQ(g_albumFlow.divisor, 0);
        if (count > 0) {
            EXPECT_GE(g_albumFlow.current, 1);
            EXPECT_LE(g_albumFlow.current, count);
        }
    }
}

TEST_F(AlbumFlowTest, DragsStepAndSlowReleasesSnap) {
    Albums(5);
    g_albumFlow.current = 3;
    EnterAlbumFlow(g_screen, kOrientation90);
    FlowPenDown(g_screen, 300, 200, t);
    for (int32_t x = 300; x <= 600; x += 10) FlowPenMove(g_screen, x, 200, t += 16);
    FlowPenUp(g_screen, 600, 200, t += 400);  // held still: no flick
    EXPECT_LT(g_albumFlow.current, 3);
    EXPECT_EQ(g_albumFlow.divisor, 0);
    const int afterDrag = g_albumFlow.current;
    // A quick release flicks; the motion ticks carry the row on and end it.
    FlowPenDown(g_screen, 600, 200, t += 10);
    for (int32_t x = 600; x >= 400; x -= 40) FlowPenMove(g_screen, x, 200, t += 10);
    FlowPenUp(g_screen, 400, 200, t += 10);
    EXPECT_EQ(g_albumFlow.divisor, 1);
    for (int i = 0; i < 30; ++i) OnFlowTimer(g_screen);
    EXPECT_GT(g_albumFlow.current, afterDrag);
    EXPECT_EQ(g_albumFlow.divisor, 0);
    EXPECT_TRUE(played.empty());
    // A press and release in place is a tap.
    const int32_t cx = int32_t(g_screen.width) / 2;
    const int32_t cy = g_albumFlow.albums[size_t(g_albumFlow.current)].y + 20;
    Stroke(cx, cy, cx + 3, cy, 100, 20);
    EXPECT_EQ(played, (std::vector<int>{g_albumFlow.current}));
}

TEST_F(AlbumFlowTest, TheRouterShowsTheViewWithoutAlbums) {
    ASSERT_TRUE(IsScreenRegistered(kScreenAlbumFlow));
    ASSERT_TRUE(ShowScreen(kScreenAlbumFlow, true));
    EXPECT_EQ(g_albumFlow.count, 0);
    for (int32_t x : {10, 400, 790}) Tap(x, 240);
    Drag(100, 200, 500, 200, 50);
    EXPECT_EQ(g_albumFlow.slots[kFlowCentre], -1);
}

TEST_F(AlbumFlowTest, LetterKeysJumpToArtists) {
    Albums(7);  // artists: abba, Beck, Mika, Muse, Muse, Queen, Mogwai
    EnterAlbumFlow(g_screen, kOrientation90);
    EXPECT_TRUE(FlowKeyDown('M'));
    EXPECT_EQ(g_albumFlow.current, 3);  // the first M artist
    EXPECT_EQ(Slots(), (std::vector<int>{-1, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(FlowKeyDown('M'));
    EXPECT_EQ(g_albumFlow.current, 4);  // the next M artist
    EXPECT_TRUE(FlowKeyDown('M'));
    EXPECT_EQ(g_albumFlow.current, 7);  // Muse's second album is passed over
    EXPECT_TRUE(FlowKeyDown('M'));
    EXPECT_EQ(g_albumFlow.current, 3);  // round again
    EXPECT_TRUE(FlowKeyDown('N'));      // no N: the next letter that has one
    EXPECT_EQ(g_albumFlow.current, 6);
    EXPECT_TRUE(FlowKeyDown('A'));
    EXPECT_EQ(g_albumFlow.current, 1);
    EXPECT_FALSE(FlowKeyDown('Z'));
    EXPECT_FALSE(FlowKeyDown(0x25));  // arrows are not the view's
    EXPECT_EQ(g_albumFlow.current, 1);
}

TEST_F(AlbumFlowTest, TrackListRowsPlayAndTheBarDoubleTapLeaves) {
    Albums(5);
    g_albumFlow.current = 2;
    EnterAlbumFlow(g_screen, kOrientation90);
    TurnFlowList(g_screen);
    ASSERT_TRUE(g_albumFlow.listShown);
    ASSERT_EQ(g_albumFlow.tracks.size(), 40u);
    int32_t x, y, w, h;
    FlowListRect(g_screen, x, y, w, h);
    const int32_t rowH = g_albumFlow.rowHeight, mid = x + w / 2, low = y + h - 5;
    // Scroll by three rows, then tap the second visible row.
    Stroke(mid, low, mid, low - 3 * rowH, 50, 20);
    EXPECT_EQ(g_albumFlow.listScroll, 3 * rowH);
    EXPECT_TRUE(played.empty());
    Stroke(mid, y + rowH + rowH / 2, mid + 2, y + rowH + rowH / 2, 50, 40);
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0], g_albumFlow.tracks[4].path);
    EXPECT_EQ(played, (std::vector<int>{2}));
    // A flick glides on over the motion ticks, slowing, and a touch stops it.
    Stroke(mid, low, mid, low - rowH, 50, 20);
    const int32_t released = g_albumFlow.listScroll;
    OnFlowTimer(g_screen);
    const int32_t first = g_albumFlow.listScroll - released;
    OnFlowTimer(g_screen);
    const int32_t second = g_albumFlow.listScroll - released - first;
    EXPECT_GT(first, rowH);
    EXPECT_GT(second, 0);
    EXPECT_LT(second, first);
    FlowPenDown(g_screen, mid, y + 5, t += 50);
    const int32_t stopped = g_albumFlow.listScroll;
    FlowPenUp(g_screen, mid + 40, y + 5, t += 40);
    OnFlowTimer(g_screen);
    EXPECT_EQ(g_albumFlow.listScroll, stopped);
    // A hard flick stops at the end of the list.
    Stroke(mid, low, mid, y + 5, 50, 5);
    for (int i = 0; i < 40 && g_albumFlow.listVelocity != 0; ++i) OnFlowTimer(g_screen);
    EXPECT_EQ(g_albumFlow.listVelocity, 0);
    EXPECT_EQ(g_albumFlow.listScroll, 40 * rowH - h);
    // A side tap while the list shows turns it back, no step.
    Stroke(5, y + 20, 5, y + 20, 50, 40);
    EXPECT_FALSE(g_albumFlow.listShown);
    EXPECT_EQ(g_albumFlow.current, 2);
    // Two taps on the bottom bar within 500 ms leave; 500 ms apart they do not.
    const int32_t barY = int32_t(g_screen.height) - 4, barX = int32_t(g_screen.width) / 2;
    Stroke(barX, barY, barX, barY, 50, 40);
    Stroke(barX, barY, barX, barY, 460, 40);
    EXPECT_EQ(leaves, 0);
    Stroke(barX, barY, barX, barY, 100, 40);
    EXPECT_EQ(leaves, 1);
}

// Frames at rest, mid-step and at the middle of the turn on both target
// profiles (saved as pictures with KRA_FRAME_DIR). The turn stands on the row
// without its centre cover.
TEST_F(AlbumFlowTest, FramesOnBothProfiles) {
    for (int profile = 0; profile < 2; ++profile) {
        if (profile == 1) {
            Open(240, 320, 96);
            SetOrientation(g_screen, kOrientation90);
            g_settings.noAlbumFlow = 0;
        }
        const std::string tag = profile == 0 ? "480x800" : "240x320";
        Albums(5);
        g_albumFlow.current = 3;
        EnterAlbumFlow(g_screen, kOrientation90);
        DrawFlow(g_screen, 0);
        SaveFrame("flow-rest-" + tag + ".png");
        const int32_t W = int32_t(g_screen.width);
        const uint16_t centre = Pixel(W / 2, g_albumFlow.baseline - 10);
        EXPECT_NE(centre, 0);
        g_albumFlow.hooks.onFrame = [&](int n) {
            if (n == 2) SaveFrame("flow-mid-step-" + tag + ".png");
        };
        MoveToNextAlbum(g_screen, false);
        MoveToPrevAlbum(g_screen, false);
        int seen = 0;
        g_turnFrameObserver = [&](Screen&, int frame) {
            if (frame != 9) return;
            ++seen;
            SaveFrame("flow-turn-9-" + tag + ".png");
            // The thin card stands at the cover's left edge; the middle shows the row behind.
            EXPECT_NE(Pixel(W / 2, g_albumFlow.baseline - 10), centre);
        };
        TurnFlowList(g_screen);
        g_turnFrameObserver = nullptr;
        EXPECT_EQ(seen, 1);
        EXPECT_TRUE(g_albumFlow.listShown);
    }
}

TEST(FlowCoverCache, TheFarthestCoverMakesRoom) {
    FlowCoverCache cache;
    int evicted = 0;
    for (int album = 1; album <= kFlowCacheSize; ++album) {
        ASSERT_TRUE(SizeSurface(cache.Store(album, 40, evicted), 2, 2));
        EXPECT_EQ(evicted, -1);
    }
    EXPECT_EQ(cache.Count(), kFlowCacheSize);
    cache.Store(65, 40, evicted);  // album 1 is the farthest from 40
    EXPECT_EQ(evicted, 1);
    EXPECT_FALSE(cache.Has(1));
    EXPECT_TRUE(cache.Has(65));
    cache.Store(66, 10, evicted);  // now 65 is the farthest from 10
    EXPECT_EQ(evicted, 65);
    cache.Store(2, 10, evicted);  // already there: nothing leaves
    EXPECT_EQ(evicted, -1);
    EXPECT_EQ(cache.Count(), kFlowCacheSize);
}

// Results of an old table are dropped; far ones give their claim back.
TEST(FlowCoverWorker, GenerationsClaimsAndTheWalkOrder) {
    ResetFlowCovers();
    static std::vector<std::u16string> order;
    order.clear();
    SetFlowCoverLoader([](const std::u16string& folder, const ArtOptions&, AlbumArt& art) {
        order.push_back(folder);
        art.coverLoaded = false;
    });
    auto table = std::make_shared<AlbumTable>();
    table->albumCount = 100;
    table->entries.resize(101);
    for (int i = 1; i <= 100; ++i)
        table->entries[size_t(i)].folder = std::u16string(1, char16_t(i));
    ArtOptions options;
    options.coverSize = 32;
    AttachFlowCovers(table, 100, options);
    SetFlowCoversCurrent(50);
    EXPECT_TRUE(ClaimFlowCover(50));  // the centre in the foreground
    FlowCoverWork();
    ASSERT_EQ(order.size(), size_t(2 * kFlowCacheRadius));
    EXPECT_EQ(order[0], std::u16string(1, char16_t(51)));
    EXPECT_EQ(order[1], std::u16string(1, char16_t(49)));
    EXPECT_EQ(order.back(), std::u16string(1, char16_t(50 - kFlowCacheRadius)));
    EXPECT_FALSE(ClaimFlowCover(51));  // the worker's
    ReleaseFlowCover(51);
    EXPECT_TRUE(ClaimFlowCover(51));
    // A new table: the first one's results are gone.
    auto other = std::make_shared<AlbumTable>(*table);
    AttachFlowCovers(other, 100, options);
    EXPECT_TRUE(TakeFlowCoverResults().empty());
    EXPECT_TRUE(ClaimFlowCover(51));
    ResetFlowCovers();
}

}  // namespace
}  // namespace kra
